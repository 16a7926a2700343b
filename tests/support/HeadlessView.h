#pragma once

#include "app/MainView.h"

// The main window's state without a window, for the controller's tests: the pickers start at now,
// the combo holds names and a selection index.
class HeadlessView : public MainView {
public:
    explicit HeadlessView(const QDateTime& now) : from_(now), to_(now) {}

    void ResetContent() override;
    void InsertString(int index, const QString& name) override;
    QDateTime FromDate() const override { return from_; }
    void SetFromDate(const QDateTime& value) override { from_ = value; }
    QDateTime ToDate() const override { return to_; }
    void SetToDate(const QDateTime& value) { to_ = value; }
    std::optional<QString> SelectedDeviceText() const override;
    void SetDeviceText(const QString& text) override { selected_ = int(names_.indexOf(text)); }
    void SelectDevice(int index) override { selected_ = index; }
    void SetConnectCaption(const QString& caption) override { caption_ = caption; }
    void RunAside(const std::function<void()>& work) override { work(); }
    bool ShowProgress(Stage, qint64, qint64) override { return true; }
    void EndProgress(const QString& outcome) override { outcome_ = outcome; }

    const QStringList& Names() const { return names_; }
    const QString& ConnectCaption() const { return caption_; }
    // The last pull's outcome.
    const QString& Outcome() const { return outcome_; }

private:
    QDateTime from_;
    QDateTime to_;
    QStringList names_;
    int selected_ = -1;
    QString caption_;
    QString outcome_;
};
