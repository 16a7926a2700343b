#include "Site.h"

#include "app/HeadlessRun.h"
#include "platform/Clock.h"
#include "platform/WorkThread.h"
#include "platform/gui/DialogTemplate.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

// Where the program's window shows its command line (the command dialog).
#ifdef Q_OS_WIN
const QString kProgramPath = QStringLiteral("C:/Program Files/Attendance Tools/zelvor.exe");
#else
const QString kProgramPath = QStringLiteral("/opt/Attendance Tools/bin/zelvor");
#endif

QString Guid(int number)
{
    return QStringLiteral("00000000-0000-0000-0000-%1").arg(number, 12, 10, QLatin1Char('0'));
}

bool Failed(const QString& what)
{
    std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
    return false;
}

} // namespace

void PictureWindow::AtMoment(Test test, std::function<void()> take)
{
    const std::lock_guard guard(lock_);
    moments_.push_back({std::move(test), std::move(take)});
}

int PictureWindow::ForgetMoments()
{
    const std::lock_guard guard(lock_);
    const int left = int(moments_.size());
    moments_.clear();
    return left;
}

bool PictureWindow::ShowProgress(Stage stage, qint64 done, qint64 total)
{
    const bool goOn = CZelvorDlg::ShowProgress(stage, done, total);
    std::function<void()> take;
    {
        const std::lock_guard guard(lock_);
        for (auto moment = moments_.begin(); moment != moments_.end(); ++moment) {
            if (moment->test(stage, done, total)) {
                take = std::move(moment->take);
                moments_.erase(moment);
                break;
            }
        }
    }
    if (!take)
        return goOn;
    // The window follows these figures (queued before) when the pictures are taken.
    RunOnThreadOf(this, take);
    return CZelvorDlg::ShowProgress(stage, done, total);
}

Site::Site()
    : exportFolder_(QDir::temp().filePath(QStringLiteral("zelvor-export"))),
      window_(systemClock().now()), registry_(home_.filePath(QStringLiteral("registry"))),
      controller_(window_, MainServices{window_.Link(), progress_, boxes_, systemClock(), registry_,
                                        prompt_, home_.path(), WriteRunLine})
{
    // The export files' folder: a plain name to show in the pull's outcome.
    QDir().mkpath(exportFolder_);
    boxes_.SetParent(&window_);
    window_.Attach(controller_, boxes_, kProgramPath);
}

Site::~Site()
{
    QDir(exportFolder_).removeRecursively();
}

CConnServer Site::Record(int number, const QString& name) const
{
    CConnServer record = db_.Record();
    record.DeviceId = Guid(number);
    record.Name = name;
    record.IsCheck = QStringLiteral("1");
    // The main gate keeps its export files, the store's go to a folder of
    // their own: Save's question names both.
    record.IsDeleteFile = number == 1 ? QStringLiteral("0") : QStringLiteral("1");
    record.FilePath = number == 2 ? exportFolder_ + QStringLiteral("/store") : exportFolder_;
    return record;
}

bool Site::Prepare()
{
    const QString problem = testsupport::TestDatabase::EnvironmentProblem();
    if (!problem.isEmpty())
        return Failed(problem);
    if (!home_.isValid() || offTerminal_.Port() == 0)
        return Failed(QStringLiteral("no temporary folder or no closed loopback port"));
    // The suite's devices, numbered from 1.
    const QStringList names{kGate, QStringLiteral("مدخل المستودع"), kGate3};
    QList<testsupport::DeviceFixture> rows;
    CConnServerList devices;
    for (int number = 1; number <= names.size(); ++number) {
        const QString& name = names.at(number - 1);
        rows.append({Guid(number), QString::number(number), name, QStringLiteral("127.0.0.1"),
                     offTerminal_.Port(), 0, 1});
        devices.append(Record(number, name));
    }
    if (!db_.Reset() || !db_.InsertDevices(rows))
        return Failed(QStringLiteral("the test database's devices: ") + db_.LastError());
    CCrypt crypt;
    if (!SaveSettings(devices, home_.filePath(QStringLiteral("config.ini")), crypt))
        return Failed(QStringLiteral("config.ini in ") + home_.path());
    return true;
}

void Site::Start()
{
    controller_.InitDialog({});
    controller_.OnStartRun();
    window_.show();
}

void Site::ShowNotices()
{
    progress_.Show(window_.MakeNotificationSink(systemClock()));
}

bool Site::NewTerminal(const QStringList& options)
{
    Disconnect();
    const QDate today = QDate::currentDate();
    terminal_ = std::make_unique<SimProcess>();
    if (!terminal_->Start(options +
                          QStringList{QStringLiteral("--users"), QStringLiteral("400"),
                                      QStringLiteral("--from"),
                                      QDate(today.year(), today.month(), 1).toString(Qt::ISODate),
                                      QStringLiteral("--days"), QString::number(today.day())}))
        return Failed(QStringLiteral("the simulated terminal did not start: ") +
                      terminal_->Error());
    if (!db_.UpdateDevice(Guid(1), QStringLiteral("Port"), terminal_->Port()))
        return Failed(QStringLiteral("the main gate's port: ") + db_.LastError());
    return true;
}

void Site::Press(int controlId)
{
    QTest::mouseClick(FindControl<QPushButton>(window_, controlId), Qt::LeftButton);
}

void Site::Choose(const QString& device)
{
    auto* combo = FindControl<QComboBox>(window_, resid::main::kDeviceCombo);
    combo->setCurrentIndex(combo->findText(device));
}

bool Site::LinkOpen() const
{
    return controller_.ConnectCaption() == optext::kDisconnectCaption;
}

void Site::Connect()
{
    if (!LinkOpen())
        Press(resid::main::kConnectButton);
}

void Site::Disconnect()
{
    if (LinkOpen())
        Press(resid::main::kConnectButton);
}

bool Site::Pull()
{
    Press(resid::main::kPullButton);
    const int missed = window_.ForgetMoments();
    return missed == 0 ||
           Failed(QStringLiteral("%1 moment(s) of the pull did not come").arg(missed));
}

void Site::ClosePull()
{
    if (QDialog* pull = window_.ProgressWindow())
        QTest::mouseClick(pull->findChild<QPushButton*>(), Qt::LeftButton);
}
