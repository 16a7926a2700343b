#include "GuiTestKit.h"
#include "access/gui/CCommandDlg.h"
#include "access/gui/CPasswordDlg.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/NotificationSink.h"
#include "platform/gui/DialogTemplate.h"
#include "platform/gui/MessageBoxSink.h"
#include "platform/gui/QtTranslations.h"
#include "platform/gui/TrayNotificationSink.h"
#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "resources/ResourceIds.h"
#include "settings/gui/CConfigDlg.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using guitest::Click;
using guitest::TypeInto;
using guitest::WhenModalOpens;

namespace {

// A program path with a blank, and the command the dialog must show for it:
// the path quoted as the system's scheduler and shell read it, then " 1".
#ifdef Q_OS_WIN
const QString kProgram = QStringLiteral("C:/Attendance Tools/zelvor.exe");
const QString kCommand = QStringLiteral("\"C:\\Attendance Tools\\zelvor.exe\" 1");
#else
const QString kProgram = QStringLiteral("/opt/Attendance Tools/zelvor");
const QString kCommand = QStringLiteral("'/opt/Attendance Tools/zelvor' 1");
#endif

} // namespace

// The password and command dialogs driven by keyboard and mouse, and the
// forms of the three secondary dialogs: every control id findable, every text
// readable in full.
class TestSmallDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void passwordPrompt_data();
    void passwordPrompt();
    void commandShowsQuotedPathAndOne();
    void commandEditsAreNotKept();
    void formsHaveEveryControl_data();
    void formsHaveEveryControl();
    void pickersShowMonthNames_data();
    void pickersShowMonthNames();
    void pullProgressCancels();
    void noticesShowInTheWindowWithoutATray();
    void boxShowsTechnicalLinesInTheirDirection_data();
    void boxShowsTechnicalLinesInTheirDirection();
    // Last: Qt's Arabic translations stay loaded.
    void arabicStandardButtonsAndBoxDirection();
};

void TestSmallDialogs::initTestCase()
{
    QApplication::setLayoutDirection(Qt::RightToLeft);
}

void TestSmallDialogs::passwordPrompt_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("ending"); // how the operator leaves the dialog
    QTest::addColumn<QString>("result");

    QTest::newRow("ok") << QStringLiteral("Sesame 1") << QStringLiteral("ok")
                        << QStringLiteral("Sesame 1");
    QTest::newRow("arabic text") << QStringLiteral("كلمة") << QStringLiteral("ok")
                                 << QStringLiteral("كلمة");
    QTest::newRow("empty ok") << QString() << QStringLiteral("ok") << QString();
    QTest::newRow("enter in the edit")
        << QStringLiteral("abc") << QStringLiteral("enter") << QStringLiteral("abc");
    QTest::newRow("escape") << QStringLiteral("abc") << QStringLiteral("escape") << QString();
    QTest::newRow("close box") << QStringLiteral("abc") << QStringLiteral("close") << QString();
}

void TestSmallDialogs::passwordPrompt()
{
    QFETCH(QString, typed);
    QFETCH(QString, ending);
    QFETCH(QString, result);

    bool done = false;
    WhenModalOpens(
        [&](QDialog& dialog) {
            auto* edit = FindControl<QLineEdit>(dialog, resid::password::kEdit);
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            // The password field has the focus when the dialog opens: typing
            // at once goes into it.
            QCOMPARE(dialog.focusWidget(), edit);
            TypeInto(dialog.focusWidget(), typed);
            if (ending == QLatin1String("ok"))
                Click(FindControl<QPushButton>(dialog, resid::kOk));
            else if (ending == QLatin1String("enter"))
                QTest::keyClick(edit, Qt::Key_Return);
            else if (ending == QLatin1String("escape"))
                QTest::keyClick(edit, Qt::Key_Escape);
            else
                dialog.close();
        },
        &done);
    DialogPasswordPrompt prompt;
    const QString entered = prompt.PromptPassword();
    QVERIFY(done);
    QCOMPARE(entered, result);
}

void TestSmallDialogs::commandShowsQuotedPathAndOne()
{
    CCommandDlg dialog(kProgram);
    auto* edit = FindControl<QLineEdit>(dialog, resid::command::kEdit);
    QCOMPARE(edit->text(), kCommand);
    QVERIFY(!edit->isReadOnly());

    CCommandDlg unknown{QString()};
    QCOMPARE(FindControl<QLineEdit>(unknown, resid::command::kEdit)->text(), QString());
}

void TestSmallDialogs::commandEditsAreNotKept()
{
    bool done = false;
    WhenModalOpens(
        [&](QDialog& dialog) {
            auto* edit = FindControl<QLineEdit>(dialog, resid::command::kEdit);
            QCOMPARE(edit->text(), kCommand);
            TypeInto(edit, QStringLiteral("rm -rf /"));
            Click(FindControl<QPushButton>(dialog, resid::kOk));
        },
        &done);
    {
        CCommandDlg first(kProgram);
        QCOMPARE(first.exec(), int(QDialog::Accepted));
    }
    QVERIFY(done);
    CCommandDlg second(kProgram);
    QCOMPARE(second.CommandText(), kCommand);
}

void TestSmallDialogs::formsHaveEveryControl_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("templateId");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QStringList>("texts"); // in tab order, of the visible controls with a text
    QTest::addColumn<QString>("title");

    using namespace resid;
    QTest::newRow("password") << QStringLiteral("password") << password::kTemplate
                              << QList<int>{kOk, password::kLabel, password::kEdit}
                              << QStringList{QStringLiteral("OK"), QStringLiteral("كلمة السر")}
                              << QStringLiteral("كلمة السر");
    QTest::newRow("command") << QStringLiteral("command") << command::kTemplate
                             << QList<int>{kOk, command::kEdit} << QStringList{QStringLiteral("OK")}
                             << QStringLiteral("سطر الأوامر");
    QTest::newRow("settings")
        << QStringLiteral("settings") << config::kTemplate
        << QList<int>{config::kServerLabel,
                      config::kServerEdit,
                      config::kUserLabel,
                      config::kUserEdit,
                      config::kPassLabel,
                      config::kPassEdit,
                      config::kDbLabel,
                      config::kDbEdit,
                      config::kPathLabel,
                      config::kPathEdit,
                      config::kBrowseLabel,
                      config::kDbCombo,
                      config::kDeleteFileCheck,
                      config::kTestButton,
                      config::kDeviceList,
                      kOk,
                      kCancel}
        << QStringList{QStringLiteral("مخدم Sql"),       QStringLiteral("مستخدم Sql"),
                       QStringLiteral("كلمة المرور"),    QStringLiteral("قاعدة البيانات"),
                       QStringLiteral("مسار الملف"),     QStringLiteral("حذف الملف بعد المزامنة"),
                       QStringLiteral("اختبار الاتصال"), QStringLiteral("حفظ"),
                       QStringLiteral("إلغاء")}
        << QStringLiteral("الإعدادات");
}

void TestSmallDialogs::formsHaveEveryControl()
{
    QFETCH(QString, form);
    QFETCH(int, templateId);
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, texts);
    QFETCH(QString, title);

    CConnServerList devices;
    RecordingMessageSink messages;
    std::unique_ptr<QDialog> dialog;
    if (form == QLatin1String("password"))
        dialog = std::make_unique<CPasswordDlg>();
    else if (form == QLatin1String("command"))
        dialog = std::make_unique<CCommandDlg>(QStringLiteral("/usr/bin/zelvor"));
    else
        dialog = std::make_unique<CConfigDlg>(devices, messages);

    QCOMPARE(dialog->property("templateId").toInt(), templateId);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->layoutDirection(), Qt::RightToLeft);
    QStringList shown;
    for (int id : ids) {
        QWidget* control = ControlById(*dialog, id);
        QVERIFY2(control, qPrintable(QStringLiteral("control %1 missing").arg(id)));
        QVERIFY(control->objectName().endsWith(QStringLiteral("_%1").arg(id)));
        const bool hasText =
            qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control);
        if (hasText && !control->isHidden())
            shown.append(control->property("text").toString());
    }
    QCOMPARE(shown, texts);

    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QStringList clipped = guitest::ClippedTexts(*dialog);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

void TestSmallDialogs::pickersShowMonthNames_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("month");
    QTest::newRow("arabic") << "ar_EG"
                            << "d MMMM yyyy" << QStringLiteral("ديسمبر");
    QTest::newRow("levantine arabic") << "ar_JO"
                                      << "d MMMM yyyy" << QStringLiteral("كانون الأول");
    QTest::newRow("american") << "en_US"
                              << "MMMM d, yyyy"
                              << "December";
    QTest::newRow("german") << "de_DE"
                            << "d. MMMM yyyy"
                            << "Dezember";
}

void TestSmallDialogs::pickersShowMonthNames()
{
    QFETCH(QString, locale);
    QFETCH(QString, format);
    QFETCH(QString, month);
    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    const QString used = PickerDateFormat(QLocale());
    QString shown;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    {
        CZelvorDlg dialog(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        const auto* picker = FindControl<QDateTimeEdit>(dialog, resid::main::kToPicker);
        shown = picker->text();
        direction = picker->layoutDirection();
    }
    QLocale::setDefault(previous);
    QCOMPARE(used, format);
    QVERIFY2(shown.contains(month), qPrintable(shown));
    // A Latin date keeps its parts in the locale's order; an Arabic one runs
    // right to left (the picker then holds its sections in reverse).
    QCOMPARE(direction, QLocale(locale).textDirection());
    if (direction == Qt::LeftToRight)
        QCOMPARE(shown, QLocale(locale).toString(QDate(2026, 12, 7), format));
}

void TestSmallDialogs::pullProgressCancels()
{
    CZelvorDlg dialog(QDateTime::currentDateTime());
    QVERIFY(dialog.ProgressWindow() == nullptr);
    QVERIFY(dialog.ShowProgress(MainView::Stage::Download, 10, 200000));
    QDialog* window = dialog.ProgressWindow();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->findChild<QProgressBar*>()->maximum(), 200000);
    auto* text = window->findChild<QLabel*>();
    QVERIFY(text->text().contains(QLocale().toString(200000)));
    QPushButton* button = window->findChild<QPushButton*>();
    QVERIFY(button && button->isEnabled());
    Click(button);
    QCOMPARE(text->text(), optext::kCancelling);
    QVERIFY(!dialog.ShowProgress(MainView::Stage::Download, 20, 200000));
    // The posting cannot be cancelled; its bar follows the punches staged,
    // and the merge that ends it says so.
    QVERIFY(dialog.ShowProgress(MainView::Stage::Posting, 15, 20));
    QVERIFY(!button->isEnabled());
    QCOMPARE(window->findChild<QProgressBar*>()->value(), 15);
    QVERIFY(dialog.ShowProgress(MainView::Stage::Posting, 20, 20));
    QCOMPARE(text->text(), optext::kMerging.arg(QLocale().toString(20)));
    QCOMPARE(window->findChild<QProgressBar*>()->maximum(), 0);
    // The outcome stays until the operator closes the window, and the next
    // pull is not cancelled.
    dialog.EndProgress(QStringLiteral("outcome"));
    QCOMPARE(text->text(), QStringLiteral("outcome"));
    QCOMPARE(button->text(), optext::kClose);
    QVERIFY(window->isVisible() && button->isEnabled());
    Click(button);
    QTRY_VERIFY(dialog.ProgressWindow() == nullptr);
    QVERIFY(dialog.ShowProgress(MainView::Stage::Download, 10, 20));
}

void TestSmallDialogs::noticesShowInTheWindowWithoutATray()
{
    // The offscreen platform has no notification area; Windows under Wine has one.
    if (NotificationAreaAvailable())
        QSKIP("this display has a notification area, where the notices go");
    CZelvorDlg dialog(QDateTime::currentDateTime());
    const int height = dialog.height();
    FixedClock clock(QDateTime(QDate(2026, 3, 5), QTime(10, 42, 5)));
    const std::unique_ptr<NotificationSink> sink = dialog.MakeNotificationSink(clock);
    QVERIFY(!dialog.StatusLine()->isHidden() && dialog.height() > height);
    sink->Add({optext::kNotConnectedTitle, optext::kNotConnectedText, optext::kTip});
    sink->Modify({optext::kDataStatusTitle, optext::kDownloadedText, optext::kTip});
    // The latest notice with its time, right to left.
    const QString time = QLocale().toString(QTime(10, 42, 5), QStringLiteral("hh:mm:ss"));
    QCOMPARE(
        dialog.StatusLine()->text(),
        QStringLiteral("%1  %2: %3").arg(time, optext::kDataStatusTitle, optext::kDownloadedText));
    QCOMPARE(dialog.StatusLine()->layoutDirection(), Qt::RightToLeft);
    // A link that ended replaces "connected".
    dialog.SetConnectCaption(optext::kConnectCaption);
    QVERIFY(dialog.StatusLine()->text().endsWith(optext::kLinkClosedText));
}

void TestSmallDialogs::boxShowsTechnicalLinesInTheirDirection_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    // Each technical line after the blank line between first strong isolate
    // and pop directional isolate.
    const QString arabic = optext::kTerminalBrokeOff + QStringLiteral("\n\n");
    QTest::newRow("arabic, then technical lines")
        << arabic + QStringLiteral("could not connect to [::1]:4370 (رُفض الاتصال)\nretry: no")
        << arabic + QStringLiteral("\u2068could not connect to [::1]:4370 (رُفض الاتصال)\u2069\n"
                                   "\u2068retry: no\u2069");
    QTest::newRow("english") << faulttext::kNoData + QStringLiteral("\n\n(x)")
                             << faulttext::kNoData + QStringLiteral("\n\n(x)");
    const QString question =
        optext::kSaveUnifies.arg(QStringLiteral("Gate 1: ") + optext::kFieldExportFolder);
    QTest::newRow("arabic without a blank line") << question << question;
}

void TestSmallDialogs::boxShowsTechnicalLinesInTheirDirection()
{
    QFETCH(QString, text);
    QString shown;
    bool done = false;
    WhenModalOpens(
        [&](QDialog& box) {
            shown = qobject_cast<QMessageBox*>(&box)->text();
            box.accept();
        },
        &done);
    MessageBoxSink().Show(text);
    QVERIFY(done);
    QTEST(shown, "shown");
}

void TestSmallDialogs::arabicStandardButtonsAndBoxDirection()
{
    QVERIFY(LoadQtTranslations(QLocale(QStringLiteral("ar_EG"))));
    const QString ok = StandardOkText();
    QVERIFY2(ok != QLatin1String("OK"), qPrintable(ok));
    QCOMPARE(FindControl<QPushButton>(CPasswordDlg(), resid::kOk)->text(), ok);
    // A box reads in its text's direction.
    for (const auto& [text, direction] : {std::pair{optext::kChooseDevice, Qt::RightToLeft},
                                          std::pair{faulttext::kNoData, Qt::LeftToRight}}) {
        const Qt::LayoutDirection expected = direction; // a lambda cannot capture a binding
        WhenModalOpens([&](QDialog& box) {
            QCOMPARE(box.layoutDirection(), expected);
            QCOMPARE(box.findChild<QPushButton*>()->text(), ok);
            box.accept();
        });
        MessageBoxSink().Show(text);
    }
}

QTEST_MAIN(TestSmallDialogs)
#include "tst_small_dialogs.moc"
