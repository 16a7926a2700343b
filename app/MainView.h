#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the main window offers to the run control: the two date pickers, the
// device combo, the caption of the connect button, the progress of a pull and
// a place for the work that waits on the terminal or the database. The dialog
// implements it with widgets.
class MainView {
public:
    virtual ~MainView() = default;
    // The device combo is emptied, then filled by inserting names at explicit
    // positions, so its order is the device list's whatever its sorting.
    virtual void ResetContent() = 0;
    virtual void InsertString(int index, const QString& name) = 0;
    virtual QDateTime FromDate() const = 0;
    virtual void SetFromDate(const QDateTime& value) = 0;
    virtual QDateTime ToDate() const = 0;
    // The text of the selected combo entry; nothing when no entry is selected.
    virtual std::optional<QString> SelectedDeviceText() const = 0;
    // Sets the combo's text. The combo is a drop-down list, which shows its
    // entries only: the entry with this text becomes selected, and with none
    // matching (as at start-up, before it is filled) nothing is selected.
    virtual void SetDeviceText(const QString& text) = 0;
    // Selects an entry without running the selection-change handler.
    virtual void SelectDevice(int index) = 0;
    virtual void SetConnectCaption(const QString& caption) = 0;

    // Runs work that waits on the terminal link or the database and returns
    // when it is done. The window does it on a thread of its own, the one
    // that does all the link's work, and keeps repainting meanwhile while its
    // form waits; the sinks and ShowProgress may be called from that work.
    virtual void RunAside(const std::function<void()>& work) = 0;

    // How a pull goes: its stage, done out of total (total -1 while unknown).
    // False when the operator asked to cancel. May be called from the work of
    // RunAside.
    enum class Stage { Download, Posting };
    virtual bool ShowProgress(Stage stage, qint64 done, qint64 total) = 0;
    // The pull is over: its outcome replaces the progress, until the operator
    // closes the window.
    virtual void EndProgress(const QString& outcome) = 0;
};
