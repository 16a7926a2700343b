#pragma once

#include <QString>

// The Arabic texts the operator reads that the program sets while it runs:
// notifications, the connect button's changing caption and message boxes.
// The forms beside this file hold their own fixed texts (titles, labels,
// buttons); nothing overwrites them.
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

// Caption of the connect button after connecting and after disconnecting.
inline const QString kConnectCaption = QStringLiteral("إتصال بالجهاز");
inline const QString kDisconnectCaption = QStringLiteral("فصل الإتصال");
// The status line (without a notification area) once the link has ended.
inline const QString kLinkTitle = QStringLiteral("الاتصال بالجهاز");
inline const QString kLinkClosedText = QStringLiteral("مغلق");

// The progress window of a pull.
inline const QString kPullTitle = QStringLiteral("سحب البيانات");
inline const QString kDownloading = QStringLiteral("جارٍ تحميل الحركات من الجهاز: %1 من %2");
inline const QString kDownloadingUnknown = QStringLiteral("جارٍ تحميل الحركات من الجهاز: %1");
inline const QString kPosting = QStringLiteral("جارٍ ترحيل الحركات إلى قاعدة البيانات: %1 من %2");
inline const QString kCancel = QStringLiteral("إلغاء");
inline const QString kCancelling = QStringLiteral("جارٍ إلغاء التحميل…");
inline const QString kClose = QStringLiteral("إغلاق");

// The pull's outcome, shown in its progress window until the operator closes it.
inline const QString kPulledAndPosted = QStringLiteral("تم سحب البيانات وترحيلها.");
inline const QString kPulledNotPosted = QStringLiteral("تم سحب البيانات، ولم يُرحَّل منها شيء.");
inline const QString kPullCancelled =
    QStringLiteral("أُلغي السحب: لم يُرحَّل شيء، وبقي ملف التصدير السابق كما كان.");
inline const QString kPullFailed =
    QStringLiteral("فشل السحب: لم يُرحَّل شيء، وبقي ملف التصدير السابق كما كان.");
inline const QString kPullNotConnected =
    QStringLiteral("الجهاز غير متصل، فلم يُسحب شيء. اضغط «إتصال بالجهاز» أولاً.");
inline const QString kNoDeviceChosen = QStringLiteral("لم يُختر جهاز للترحيل.");
inline const QString kOutcomeDevice = QStringLiteral("الجهاز: %1");
inline const QString kOutcomeReceived = QStringLiteral("المستلمة من الجهاز: %1 من %2");
inline const QString kOutcomeReceivedUnknown = QStringLiteral("المستلمة من الجهاز: %1");
inline const QString kOutcomeInRange = QStringLiteral("ضمن المدة: %1");
inline const QString kOutcomePosted = QStringLiteral("رُحِّلت إلى قاعدة البيانات: %1");
inline const QString kOutcomePresent = QStringLiteral("موجودة فيها من قبل: %1");
inline const QString kOutcomeRefused = QStringLiteral("رفضتها قاعدة البيانات: %1");
inline const QString kOutcomeExport = QStringLiteral("ملف التصدير: %1");
inline const QString kOutcomeExportDeleted =
    QStringLiteral("ملف التصدير: %1 (حُذف بعد كتابته كما تطلب إعدادات الجهاز)");
inline const QString kOutcomeExportNotWritten = QStringLiteral("لم يُكتب ملف التصدير: %1");
inline const QString kOutcomeLinkClosed =
    QStringLiteral("الاتصال بالجهاز مغلق الآن؛ اضغط «إتصال بالجهاز» قبل السحب التالي.");

// Message boxes.
inline const QString kChooseDevice = QStringLiteral("اختر جهاز");
inline const QString kIncompleteConnection = QStringLiteral("يرجى إدخال اعدادات الاتصال بشكل كامل");
inline const QString kWrongPassword = QStringLiteral("يرجى ادخال كلمة السر الصحيحة");
inline const QString kEnterPassword = QStringLiteral("ادخل كلمة السر");

} // namespace optext
