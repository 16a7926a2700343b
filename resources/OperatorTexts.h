#pragma once

#include "resources/Isolated.h"

#include <QString>

// The Arabic texts the operator reads that the program sets while it runs:
// notifications, the connect button's changing caption and message boxes.
// The forms beside this file hold their own fixed texts (titles, labels,
// buttons); nothing overwrites them. A path or an address a text embeds is
// isolated in it (Isolated.h), so the text reads right whatever it holds.
namespace optext {

// Notifications of the progress channel, by progress code.
inline const QString kTip = QStringLiteral("Zovu Roz - (tool tip)");
inline const QString kErrorTitle = QStringLiteral("خطأ");                             // "1"
inline const QString kNoAddressText = QStringLiteral("يرجى إدخال العنوان");           // "1"
inline const QString kTryingTitle = QStringLiteral("محاولة الإتصال بالعنوان");        // "2"
inline const QString kConnectedTitle = QStringLiteral("متصل");                        // "3"
inline const QString kConnectedText = QStringLiteral("تم الإتصال");                   // "3"
inline const QString kConnectFailedTitle = QStringLiteral("فشل الإتصال");             // "4"
inline const QString kConnectFailedText = QStringLiteral("يرجى إعادة الإتصال");       // "4"
inline const QString kNotConnectedTitle = QStringLiteral("فشل في تحميل البيانات");    // "5"
inline const QString kNotConnectedText = QStringLiteral("يرجى الإتصال بالجهاز أولاً"); // "5"
inline const QString kDataStatusTitle = QStringLiteral("حالة البيانات");              // "7", file
inline const QString kDownloadedText = QStringLiteral("تم تحميل البيانات إلى الملف بنجاح"); // "7"
inline const QString kFileNotOpenedText = QStringLiteral("لم يتم فتح الملف يرجى التاكد من المسار");

// Caption of the connect button before the first connection (the form's own
// text), after connecting and after disconnecting.
inline const QString kFirstConnectCaption = QStringLiteral("الإتصال");
inline const QString kConnectCaption = QStringLiteral("إتصال بالجهاز");
inline const QString kDisconnectCaption = QStringLiteral("فصل الإتصال");
// The status line (without a notification area) once the link has ended.
inline const QString kLinkTitle = QStringLiteral("الاتصال بالجهاز");
inline const QString kLinkClosedText = QStringLiteral("مغلق");
// The terminal closed the link while it was idle (for whatever reason: its
// idle time, a restart, a cut cable; the window cannot tell which).
inline const QString kLinkEndedByTerminal =
    QStringLiteral("أغلق الجهاز الاتصال؛ يُعاد الاتصال عند السحب التالي");

// The progress window of a pull.
inline const QString kPullTitle = QStringLiteral("سحب البيانات");
inline const QString kDownloading = QStringLiteral("جارٍ تحميل الحركات من الجهاز: %1 من %2");
inline const QString kDownloadingUnknown = QStringLiteral("جارٍ تحميل الحركات من الجهاز: %1");
inline const QString kPosting =
    QStringLiteral("جارٍ تجهيز الحركات للترحيل إلى قاعدة البيانات: %1 من %2");
inline const QString kMerging = QStringLiteral("جارٍ دمج %1 حركة في جدول الحركات…");
inline const QString kCancel = QStringLiteral("إلغاء");
inline const QString kCancelling = QStringLiteral("جارٍ إلغاء التحميل…");
inline const QString kClose = QStringLiteral("إغلاق");

// The pull's outcome, shown in its progress window until the operator closes it.
inline const QString kPulledAndPosted = QStringLiteral("تم سحب البيانات وترحيلها.");
inline const QString kPulledNotPosted = QStringLiteral("تم سحب البيانات، ولم يُرحَّل منها شيء.");
inline const QString kPullCancelled = QStringLiteral("أُلغي السحب: لم يُرحَّل شيء.");
inline const QString kPullFailed = QStringLiteral("فشل السحب: لم يُرحَّل شيء.");
// The punch log was read, but the export file could not be written.
inline const QString kPostedExportFailed =
    QStringLiteral("رُحِّلت البيانات، لكن تعذّر كتابة ملف التصدير. تحقق من مجلد التصدير في الإعدادات "
                   "ثم أعد السحب.");
inline const QString kPulledExportFailed =
    QStringLiteral("سُحبت البيانات، لكن تعذّر كتابة ملف التصدير فلم يُحفظ منها شيء. تحقق من مجلد "
                   "التصدير ثم أعد السحب.");
inline const QString kExportKept = QStringLiteral("وبقي ملف التصدير السابق كما كان.");
// %1: the connect button's caption as it reads now.
inline const QString kPullNotConnected =
    QStringLiteral("الجهاز غير متصل، فلم يُسحب شيء. اضغط «%1» أولاً.");
inline const QString kPullReopened =
    QStringLiteral("كان الجهاز قد أغلق الاتصال، فأُعيد الاتصال به.");
inline const QString kNoDeviceChosen = QStringLiteral("لم يُختر جهاز للترحيل.");
inline const QString kOutcomeDevice = QStringLiteral("الجهاز: %1");
inline const QString kOutcomeReceived = QStringLiteral("المستلمة من الجهاز: %1 من %2");
inline const QString kOutcomeReceivedUnknown = QStringLiteral("المستلمة من الجهاز: %1");
inline const QString kOutcomeInRange = QStringLiteral("ضمن المدة: %1");
inline const QString kOutcomePosted = QStringLiteral("رُحِّلت إلى قاعدة البيانات: %1");
inline const QString kOutcomePresent = QStringLiteral("موجودة فيها من قبل: %1");
inline const QString kOutcomeRefused = QStringLiteral("رفضتها قاعدة البيانات: %1");
// %1: the export file's path.
inline const QString kOutcomeExport =
    QStringLiteral("ملف التصدير: ") + Isolated(QStringLiteral("%1"), Qt::LeftToRight);
inline const QString kOutcomeExportDeleted =
    QStringLiteral("ملف التصدير: ") + Isolated(QStringLiteral("%1"), Qt::LeftToRight) +
    QStringLiteral(" (حُذف بعد كتابته كما تطلب إعدادات الجهاز)");
// %1: why, in the system's words.
inline const QString kOutcomeExportNotWritten = QStringLiteral("لم يُكتب ملف التصدير: %1");
inline const QString kOutcomeLinkClosed =
    QStringLiteral("الاتصال بالجهاز مغلق الآن؛ اضغط «%1» قبل السحب التالي.");

// Message boxes. Those of a fault lead with what happened and what to do,
// and keep the technical line after them.
inline const QString kChooseDevice = QStringLiteral("اختر جهاز");
// %1, %2: the first and the last day.
inline const QString kReversedRange =
    QStringLiteral("تاريخ البداية %1 يقع بعد تاريخ النهاية %2. صحّح التاريخين ثم أعد المحاولة؛ "
                   "لم يُتصل بالجهاز ولم يُسحب شيء، وبقي ملف التصدير كما كان.");
// %1: the terminal's address; %2: the connect button's caption.
inline const QString kConnectRefused =
    QStringLiteral("تعذّر الاتصال بالجهاز ") + Isolated(QStringLiteral("%1"), Qt::LeftToRight) +
    QStringLiteral(". تأكد أن الجهاز يعمل ومتصل بالشبكة ثم اضغط «%2» مرة أخرى؛ ويفحص "
                   "الأمر zelvor-settings check كل خطوة من خطوات الاتصال ويبيّن سبب الخطأ.");
inline const QString kTerminalBrokeOff = QStringLiteral(
    "انقطع إرسال الحركات من الجهاز قبل نهايتها، فلم يُصدَّر منها شيء ولم يُرحَّل. أعد السحب، وإن "
    "تكرر ذلك فافحص الشبكة إلى الجهاز أو شغّل الأمر zelvor-settings check.");
// The database failed during a device's way (opening, look-up, posting).
inline const QString kDatabaseFailed = QStringLiteral(
    "تعذّر العمل على قاعدة البيانات، فلم يُرحَّل ما لم يكتمل ترحيله. تحقق من الخادم واسم المستخدم "
    "وكلمة السر في الإعدادات وأن الخادم يعمل، ثم أعد المحاولة؛ ويبيّن الأمر zelvor-settings check "
    "سبب الخطأ خطوة خطوة.");
// Test connection in the settings dialog. %1: how many devices the query listed.
inline const QString kTestConnectionListed =
    QStringLiteral("نجح الاتصال بقاعدة البيانات، وأعاد الاستعلام %1 من الأجهزة.");
inline const QString kTestConnectionFailed = QStringLiteral(
    "تعذّر الاتصال بقاعدة البيانات. تحقق من اسم الخادم واسم المستخدم وكلمة السر واسم القاعدة ثم "
    "أعد المحاولة؛ ويبيّن الأمر zelvor-settings check سبب الخطأ خطوة خطوة.");
// Save, when the stored devices differ in what Save makes the same. %1: the
// devices and fields, a line each.
inline const QString kSaveUnifies = QStringLiteral(
    "يكتب الحفظ القيم المعروضة في كل الأجهزة، والأجهزة المحفوظة تختلف الآن فيها:\n%1\nهل تريد "
    "الحفظ وتوحيد هذه القيم؟");
// The last line of that list when it names only the first devices. %1: how
// many more Save would change.
inline const QString kSaveUnifiesMore = QStringLiteral("… و%1 من الأجهزة الأخرى");
inline const QString kFieldServer = QStringLiteral("الخادم");
inline const QString kFieldUser = QStringLiteral("المستخدم");
inline const QString kFieldPassword = QStringLiteral("كلمة السر");
inline const QString kFieldDatabase = QStringLiteral("قاعدة البيانات");
inline const QString kFieldExportFolder = QStringLiteral("مجلد التصدير");
inline const QString kFieldDeleteFile = QStringLiteral("حذف ملف التصدير");
inline const QString kFieldDriverOptions = QStringLiteral("خيارات المشغّل");
inline const QString kFieldDriver = QStringLiteral("مشغّل قاعدة البيانات");
inline const QString kIncompleteConnection = QStringLiteral("يرجى إدخال اعدادات الاتصال بشكل كامل");
inline const QString kWrongPassword = QStringLiteral("يرجى ادخال كلمة السر الصحيحة");
inline const QString kEnterPassword = QStringLiteral("ادخل كلمة السر");

} // namespace optext
