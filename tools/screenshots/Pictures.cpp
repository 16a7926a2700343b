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

bool Picture(QWidget& window, const QString& path)
{
    if (!QTest::qWaitForWindowExposed(&window))
        return Report({}, path);
    QTest::qWait(300);
    return Report(window.screen()->grabWindow(window.winId()), path);
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

bool SavePullWindow(CZelvorDlg& main, const QString& path)
{
    QDialog* pull = main.ProgressWindow();
    return pull ? Picture(*pull, path) : Report({}, path);
}

bool SaveWithPullWindow(CZelvorDlg& main, const QString& path)
{
    QDialog* pull = main.ProgressWindow();
    if (!pull || !QTest::qWaitForWindowExposed(pull))
        return Report({}, path);
    const QRect below = FramedRect(main, main);
    // Qt places a window by its frame once it knows the frame, which the
    // window manager tells it late at times, and the manager may still be
    // placing the window after its last resize: the window is moved again
    // until its frame stands where it was asked to.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QPoint place(below.left() + (below.width() - pull->frameGeometry().width()) / 2,
                           below.bottom() + 12);
        pull->move(place);
        QTest::qWait(300);
        const QRect at = FramedRect(*pull, main);
        if (at.top() > below.bottom() && qAbs(at.left() - place.x()) <= 2)
            break;
    }
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
