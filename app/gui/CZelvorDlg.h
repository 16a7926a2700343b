#pragma once

#include "app/MainView.h"
#include "app/gui/PullProgress.h"
#include "platform/WorkThread.h"

#include <QDialog>
#include <QLocale>

#include <memory>

namespace Ui {
class MainDialogForm;
}
class Clock;
class CTerminalLink;
class MainController;
class MessageSink;
class NotificationSink;
class QLabel;
class QTimer;

// The date pickers' format in a locale: its long date without the weekday,
// so month names show in the operator's language.
QString PickerDateFormat(const QLocale& locale);

// The main window (template 102): the device combo, the date range and the
// buttons of the operator's session, and the terminal link they work on. It
// keeps no state beyond its widgets and the link: every button and selection
// goes to the MainController, which reads and sets the widgets back through
// MainView. Enter and Escape never end it; OK, Cancel and the close box do,
// except while work on the terminal or the database runs.
//
// The link lives on a thread of its own, which does all its work (connecting,
// pulling, ending it; RunAside), so the window never waits on the terminal or
// the database: it repaints, and a Cancel reaches the pull at once.
class CZelvorDlg : public QDialog, public MainView {
    Q_OBJECT
public:
    // now: the pickers' first value (the controller moves the from-date to
    // the first of the month).
    explicit CZelvorDlg(const QDateTime& now, QWidget* parent = nullptr);
    ~CZelvorDlg() override;

    // How often the window looks at an open link between operations: a link
    // the terminal ended shows at once, and an idle one is kept alive.
    static constexpr int kLinkLookMs = 1000;

    // The terminal link, made and used on the window's link thread only.
    CTerminalLink& Link() const { return *link_; }

    // Connects the window to its controller. messages carries the settings
    // dialog's boxes; exePath is the program the command dialog shows.
    void Attach(MainController& controller, MessageSink& messages, const QString& exePath);

    // The notification icon was double-clicked: bring the window back.
    void OnTrayNotify();

    // Where the window's notifications go: balloons at its notification-area
    // icon where the desktop has one; otherwise its own status line, shown
    // from now on, and a line on standard error. The sink must not outlive
    // the window.
    std::unique_ptr<NotificationSink> MakeNotificationSink(const Clock& clock);
    // The status line under the form: the window grows by it.
    void ShowStatusLine();
    // Shows a notification on the status line, with the time it came.
    void ShowNotice(const QString& title, const QString& text, const QDateTime& at);
    QLabel* StatusLine() const;

    // MainView
    void ResetContent() override;
    void InsertString(int index, const QString& name) override;
    QDateTime FromDate() const override;
    void SetFromDate(const QDateTime& value) override;
    QDateTime ToDate() const override;
    std::optional<QString> SelectedDeviceText() const override;
    void SetDeviceText(const QString& text) override;
    void SelectDevice(int index) override;
    void SetConnectCaption(const QString& caption) override;
    void RunAside(const std::function<void()>& work) override;
    bool ShowProgress(Stage stage, qint64 done, qint64 total) override;
    void EndProgress(const QString& outcome) override;
    // The progress window of a pull, open until the operator closes its
    // outcome; null when none is.
    QDialog* ProgressWindow() const { return progress_.Window(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnConnect();
    void OnPullData();
    void OnSettings();
    void OnGenerateCommand();
    void OnDeviceSelChange();

    // On the link thread, between operations: looks after an open link, and
    // tells the controller when the terminal has ended it.
    void LookAtLink();
    // Runs a button's work unless another is under way (a pull repaints the
    // window while it runs, so clicks could otherwise start a second one).
    void Exclusive(void (MainController::*handler)());

    std::unique_ptr<Ui::MainDialogForm> ui_;
    WorkThread linkThread_;
    std::unique_ptr<CTerminalLink> link_;
    QTimer* linkLook_ = nullptr; // lives on the link thread
    PullProgress progress_{this};
    bool busy_ = false;                  // a button's work or work on the link thread is under way
    const Clock* statusClock_ = nullptr; // the status line's, while it stands in for a tray
    MainController* controller_ = nullptr;
    MessageSink* messages_ = nullptr;
    QString exePath_;
};
