#include "MessageBoxPresenter.h"
#include "Mymessage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(MessageBoxPresenter, BoxIsOwnerlessModalErrorWithOneOk)
{
    const auto box =
        TMessageBoxPresenter::MakeErrorBox(Q("MIRANTOS Board"), Q("データがありません"));
    EXPECT_EQ(box->parent(), nullptr);
    EXPECT_EQ(box->windowTitle(), Q("MIRANTOS Board"));
    EXPECT_EQ(box->text(), Q("データがありません"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
}

TEST(MessageBoxPresenter, ShowErrorIsModalAndReturnsWhenClosed)
{
    TMessageBoxPresenter presenter;
    TmyMessage message(Q("MIRANTOS"), "MIRANTOS Board", &presenter);

    QString seenTitle;
    QString seenText;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || !box->isVisible())
                continue;
            wasModal = QApplication::activeModalWidget() == box;
            seenTitle = box->windowTitle();
            seenText = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    message.NotFoundError();

    EXPECT_TRUE(wasModal);
    EXPECT_EQ(seenTitle, Q("MIRANTOS Board"));
    EXPECT_EQ(seenText, Q("MIRANTOS が見つかりませんでした"));
}
