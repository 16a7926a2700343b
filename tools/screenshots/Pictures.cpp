#include "Pictures.h"

#include "app/gui/CZelvorDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

bool Report(const QPixmap& picture, const QString& path)
{
    const bool saved = !picture.isNull() && picture.save(path);
    std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", qPrintable(path),
                 picture.width(), picture.height());
    return saved;
}

bool Save(QWidget& dialog, const QString& path)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return false;
    QTest::qWait(300);
    const bool saved = Report(dialog.screen()->grabWindow(dialog.winId()), path);
    dialog.hide();
    return saved;
}

QRect FramedRect(QWidget& window, QWidget& like)
{
    for (int i = 0; i < 20 && window.frameGeometry() == window.geometry(); ++i)
        QTest::qWait(50);
    if (window.frameGeometry() != window.geometry())
        return window.frameGeometry();
    const QRect frame = like.frameGeometry();
    const QRect inner = like.geometry();
    return window.geometry().adjusted(frame.left() - inner.left(), frame.top() - inner.top(),
                                      frame.right() - inner.right(),
                                      frame.bottom() - inner.bottom());
}

bool SaveWithPullWindow(CZelvorDlg& main, const QString& path)
{
    QDialog* pull = main.ProgressWindow();
    if (!pull || !QTest::qWaitForWindowExposed(pull))
        return Report({}, path);
    const QRect below = FramedRect(main, main);
    pull->move(below.left() + (below.width() - pull->frameGeometry().width()) / 2,
               below.bottom() + 12);
    QTest::qWait(300);
    // The window manager draws a border under the frame that Qt knows of.
    const QRect area = (below | FramedRect(*pull, main)).adjusted(0, 0, 0, 4);
    return Report(main.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()),
                  path);
}

void CatchNextBox(const QString& path, bool* saved)
{
    auto* poll = new QTimer;
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, [poll, path, saved] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QTest::qWait(300);
        // With its title, as the operator sees it.
        QWidget* like = box->parentWidget() ? box->parentWidget()->window() : box;
        const QRect frame = FramedRect(*box, *like);
        *saved = Report(
            box->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()),
            path);
        if (QAbstractButton* no = box->button(QMessageBox::No))
            no->click();
        else
            box->accept();
    });
    poll->start();
}

CConnServer Device(const QString& id, const QString& name, const char* isCheck)
{
    CConnServer record;
    record.DeviceId = id;
    record.Name = name;
    record.IsCheck = QString::fromLatin1(isCheck);
    record.IsDeleteFile = QStringLiteral("1");
    record.Server = QStringLiteral("hr-db.example.lan");
    record.User = QStringLiteral("attendance");
    record.Pass = QStringLiteral("secret");
    record.DbName = QStringLiteral("HR");
    record.FilePath = QStringLiteral("/srv/attendance/export");
    return record;
}
