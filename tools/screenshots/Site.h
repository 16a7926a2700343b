#pragma once

#include "Pictures.h"

#include "LoopbackPorts.h"
#include "SimProcess.h"
#include "TestDatabase.h"

#include "access/gui/CPasswordDlg.h"
#include "app/MainController.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/FileRegistryStore.h"
#include "platform/gui/MessageBoxSink.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The program's main window, whose pulls can be held at a moment for their
// pictures: at the first progress report that a moment's test accepts, its
// pictures are taken on the window's thread while the pull waits on the link
// thread; then the report goes on to the window as usual (the pictures may
// have pressed the window's Cancel).
class PictureWindow : public CZelvorDlg {
public:
    using Test = std::function<bool(Stage stage, qint64 done, qint64 total)>;

    using CZelvorDlg::CZelvorDlg;

    void AtMoment(Test test, std::function<void()> take);
    // The moments that did not come; forgets them.
    int ForgetMoments();

    bool ShowProgress(Stage stage, qint64 done, qint64 total) override;

private:
    struct Moment {
        Test test;
        std::function<void()> take;
    };
    std::mutex lock_;
    std::vector<Moment> moments_;
};

// Where the pictures are taken: the test database with three devices in the
// suite's device table, a config.ini that names them with the database's
// connection, and the main window with its run control as the program makes
// them (app/gui/ProgramStart.cpp), driven through its buttons and combo. The
// main gate's terminal is a simulator started for each scene; the other two
// devices' terminals are off.
class Site {
public:
    inline static const QString kGate = QStringLiteral("البوابة الرئيسية");
    inline static const QString kGate3 = QStringLiteral("Gate 3");

    Site();
    ~Site();

    // The database's devices and config.ini; false, said on standard error,
    // when they cannot be made.
    bool Prepare();
    // The program's start: the run control reads config.ini and asks for the
    // start-up password, then the window shows.
    void Start();

    PictureWindow& Window() { return window_; }
    // From now on the notifications show on the window's status line.
    void ShowNotices();

    // Gives the main gate a new terminal, a simulator with these options and
    // a generated punch log of this month; false, said on standard error,
    // when it does not start.
    bool NewTerminal(const QStringList& options);

    // A button of the window pressed, as the operator does; returns when its
    // work is done.
    void Press(int controlId);
    // A device chosen in the combo, as the operator does.
    void Choose(const QString& device);
    // The connect button says that the link is open.
    bool LinkOpen() const;
    // The connect button pressed unless the link is open already, or closed.
    void Connect();
    void Disconnect();
    // The pull button; false when a moment set for the pull did not come
    // (said on standard error).
    bool Pull();
    // Closes the pull's window with its button, as the operator does.
    void ClosePull();

private:
    CConnServer Record(int number, const QString& name) const;

    testsupport::TestDatabase db_;
    QTemporaryDir home_;
    QString exportFolder_;
    testsupport::ClosedPort offTerminal_;
    std::unique_ptr<SimProcess> terminal_;
    PictureWindow window_;
    NoticeProgress progress_;
    MessageBoxSink boxes_;
    FileRegistryStore registry_;
    DialogPasswordPrompt prompt_;
    MainController controller_;
};

// The operator's path through the window (OperatorPath.cpp): a reversed
// range refused, a link the terminal ended while idle, the settings dialog
// with Test connection's answer and Save's question before it replaces
// devices' own values, and the command dialog.
bool SaveOperatorPathStates(Site& site, const QDir& out);
