#include "app/gui/CZelvorDlg.h"

#include "access/gui/CCommandDlg.h"
#include "app/MainController.h"
#include "platform/Clock.h"
#include "platform/NotificationSink.h"
#include "platform/gui/AppIcon.h"
#include "platform/gui/DialogKeyFilter.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/TrayNotificationSink.h"
#include "resources/OperatorTexts.h"
#include "settings/gui/CConfigDlg.h"
#include "terminal/NetTerminalLink.h"
#include "ui_ZelvorDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QTimer>

QString PickerDateFormat(const QLocale& locale)
{
    // The locale's long date without the weekday: "d MMMM yyyy" in Arabic,
    // "MMMM d, yyyy" in American English.
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("^\\s*dddd[^dMy]*|[^dMy]*dddd\\s*$"));
    format.remove(weekday);
    return format.trimmed();
}

CZelvorDlg::CZelvorDlg(const QDateTime& now, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::MainDialogForm>())
{
    ui_->setupUi(this);
    SetUpDialog(*this);

    // Dates in the operator's language, month names included; the from-date
    // keeps its time of day, since the download compares punches with the
    // picker's whole value.
    const QString dateFormat = PickerDateFormat(QLocale());
    for (QDateTimeEdit* picker : {ui_->fromPicker_1003, ui_->toPicker_1009}) {
        // A date reads in its locale's direction: right to left in an Arabic
        // locale, while a Latin date would show its parts reversed. The
        // direction comes first: the picker orders its sections by it when
        // it takes the format.
        picker->setLayoutDirection(QLocale().textDirection());
        picker->setLocale(QLocale());
        picker->setDisplayFormat(dateFormat);
        picker->setDateTime(now);
    }

    connect(ui_->connectButton_1007, &QPushButton::clicked, this, &CZelvorDlg::OnConnect);
    connect(ui_->settingsButton_1046, &QPushButton::clicked, this, &CZelvorDlg::OnSettings);
    connect(ui_->pullButton_1028, &QPushButton::clicked, this, &CZelvorDlg::OnPullData);
    connect(ui_->commandButton_1062, &QPushButton::clicked, this, &CZelvorDlg::OnGenerateCommand);
    connect(ui_->okButton_1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->cancelButton_2, &QPushButton::clicked, this, &QDialog::reject);
    // Every change of the selection made here goes through a signal blocker,
    // so this runs for the operator's choices only.
    connect(ui_->deviceCombo_1060, &QComboBox::currentIndexChanged, this,
            &CZelvorDlg::OnDeviceSelChange);

    DialogKeyFilter::Install(*this);
    // Its socket belongs to the thread that makes it, and so does the timer
    // that looks at it: the link thread runs one thing at a time, so the look
    // comes between operations only.
    linkThread_.RunBlocking([this] {
        link_ = std::make_unique<NetTerminalLink>();
        linkLook_ = new QTimer;
        QObject::connect(linkLook_, &QTimer::timeout, linkLook_, [this] { LookAtLink(); });
        linkLook_->start(kLinkLookMs);
    });
}

CZelvorDlg::~CZelvorDlg()
{
    // Ended where it lives; the terminal enables itself as the session ends.
    linkThread_.RunBlocking([this] {
        delete linkLook_;
        link_.reset();
    });
}

void CZelvorDlg::LookAtLink()
{
    if (!link_->IsOpen() || link_->TendIdle())
        return;
    const QString why = link_->LastFailure();
    QMetaObject::invokeMethod(this, [this, why] {
        // Work under way settles the caption itself when it ends.
        if (controller_ && !busy_)
            controller_->OnLinkEnded(why);
    });
}

void CZelvorDlg::closeEvent(QCloseEvent* event)
{
    // The work under way ends first (a pull can be cancelled).
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CZelvorDlg::Attach(MainController& controller, MessageSink& messages, const QString& exePath)
{
    controller_ = &controller;
    messages_ = &messages;
    exePath_ = exePath;
}

void CZelvorDlg::OnTrayNotify()
{
    showNormal();
    raise();
    activateWindow();
}

std::unique_ptr<NotificationSink> CZelvorDlg::MakeNotificationSink(const Clock& clock)
{
    if (NotificationAreaAvailable())
        return std::make_unique<TrayNotificationSink>(AppIcon(), [this] { OnTrayNotify(); });
    // Without a notification area the operator would learn nothing of
    // "connected", "connect first" or "file written": the window says it.
    ShowStatusLine();
    statusClock_ = &clock;
    return std::make_unique<StreamNotificationSink>(stderr, [this, &clock](const TrayNote& note) {
        const QDateTime at = clock.now();
        // Shown on the window's thread, whichever thread the notice came from.
        QMetaObject::invokeMethod(this,
                                  [this, note, at] { ShowNotice(note.title, note.text, at); });
    });
}

void CZelvorDlg::ShowStatusLine()
{
    QLabel* line = ui_->statusLine;
    if (!line->isHidden())
        return;
    // Below the line the same margin as below the buttons.
    const int margin = height() - ui_->okButton_1->geometry().bottom();
    line->show();
    setFixedHeight(line->geometry().bottom() + margin);
}

void CZelvorDlg::ShowNotice(const QString& title, const QString& text, const QDateTime& at)
{
    ShowStatusLine();
    const QString time = QLocale().toString(at.time(), QStringLiteral("hh:mm:ss"));
    const QString notice = QStringLiteral("%1  %2: %3").arg(time, title, text);
    ui_->statusLine->setText(notice);
    ui_->statusLine->setToolTip(notice);
}

QLabel* CZelvorDlg::StatusLine() const
{
    return ui_->statusLine;
}

void CZelvorDlg::Exclusive(void (MainController::*handler)())
{
    if (!controller_ || busy_)
        return;
    busy_ = true;
    (controller_->*handler)();
    busy_ = false;
}

void CZelvorDlg::OnConnect()
{
    Exclusive(&MainController::OnConnect);
}

void CZelvorDlg::OnPullData()
{
    Exclusive(&MainController::OnPullData);
}

void CZelvorDlg::OnSettings()
{
    if (!controller_ || busy_)
        return;
    controller_->OnSettingsOpening();
    CConfigDlg settings(controller_->Devices(), *messages_, this);
    if (settings.exec() == QDialog::Accepted)
        controller_->OnSettingsAccepted();
}

void CZelvorDlg::OnGenerateCommand()
{
    CCommandDlg command(exePath_, this);
    command.exec();
}

void CZelvorDlg::OnDeviceSelChange()
{
    if (controller_)
        controller_->OnDeviceSelChange();
}

void CZelvorDlg::ResetContent()
{
    const QSignalBlocker quiet(ui_->deviceCombo_1060);
    ui_->deviceCombo_1060->clear();
}

void CZelvorDlg::InsertString(int index, const QString& name)
{
    QComboBox* combo = ui_->deviceCombo_1060;
    const QSignalBlocker quiet(combo);
    const bool nothingSelected = combo->currentIndex() < 0;
    const int count = combo->count();
    combo->insertItem(index < 0 || index > count ? count : index, name);
    // The first entry of an empty box would become selected by itself.
    if (nothingSelected)
        combo->setCurrentIndex(-1);
}

QDateTime CZelvorDlg::FromDate() const
{
    return ui_->fromPicker_1003->dateTime();
}

void CZelvorDlg::SetFromDate(const QDateTime& value)
{
    ui_->fromPicker_1003->setDateTime(value);
}

QDateTime CZelvorDlg::ToDate() const
{
    return ui_->toPicker_1009->dateTime();
}

std::optional<QString> CZelvorDlg::SelectedDeviceText() const
{
    const QComboBox* combo = ui_->deviceCombo_1060;
    if (combo->currentIndex() < 0)
        return std::nullopt;
    return combo->currentText();
}

void CZelvorDlg::SetDeviceText(const QString& text)
{
    // A drop-down list shows entries only: the entry with this text becomes
    // selected, and with none matching nothing is shown or selected.
    const QSignalBlocker quiet(ui_->deviceCombo_1060);
    ui_->deviceCombo_1060->setCurrentIndex(
        ui_->deviceCombo_1060->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
}

void CZelvorDlg::SelectDevice(int index)
{
    const QSignalBlocker quiet(ui_->deviceCombo_1060);
    ui_->deviceCombo_1060->setCurrentIndex(index < ui_->deviceCombo_1060->count() ? index : -1);
}

void CZelvorDlg::SetConnectCaption(const QString& caption)
{
    ui_->connectButton_1007->setText(caption);
    // The status line keeps its latest notice: after "connected" it says
    // when the link ended, however it ended.
    if (statusClock_ && caption == optext::kConnectCaption)
        ShowNotice(optext::kLinkTitle, optext::kLinkClosedText, statusClock_->now());
}

void CZelvorDlg::RunAside(const std::function<void()>& work)
{
    // The form waits for the work: no second click, no other device, no
    // settings meanwhile; it repaints, and boxes and the progress window work.
    QList<QWidget*> waiting;
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_->deviceCombo_1060, ui_->fromPicker_1003, ui_->toPicker_1009,
             ui_->connectButton_1007, ui_->pullButton_1028, ui_->settingsButton_1046,
             ui_->commandButton_1062, ui_->okButton_1, ui_->cancelButton_2}) {
        if (control->isEnabled()) {
            control->setEnabled(false);
            waiting.append(control);
        }
    }
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const bool wasBusy = std::exchange(busy_, true);
    const auto resume = qScopeGuard([&] {
        busy_ = wasBusy;
        for (QWidget* control : waiting)
            control->setEnabled(true);
        if (focus && waiting.contains(focus.data()))
            focus->setFocus();
    });
    linkThread_.Run(work);
}

bool CZelvorDlg::ShowProgress(Stage stage, qint64 done, qint64 total)
{
    return progress_.Show(stage, done, total);
}

void CZelvorDlg::EndProgress(const QString& outcome)
{
    progress_.End(outcome);
}
