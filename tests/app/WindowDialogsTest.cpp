// The real overwrite question, answered by a click from the event loop.

#include "WindowDialogs.h"
#include "Myfile.h"
#include "Texts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct Seen {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString labelText;
    bool labelRich = true;
};

// Asks the question, notes what the box shows and clicks `answer`.
bool AskAndClick(const QString& question, const char* answer, Seen* seen)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no question box";
            return;
        }
        seen->text = box->text();
        seen->format = box->textFormat();
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            seen->labelText = label->text();
            seen->labelRich = label->textFormat() != Qt::PlainText;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == QString::fromUtf8(answer))
                button->click();
        }
    });
    TQtWindowDialogs dialogs(nullptr);
    return dialogs.AskOverwrite(question);
}

TEST(OverwriteQuestion, PathIsShownAsPlainTextWithItsLineBreak)
{
    const QString question = QString::fromStdString(OverwriteQuestionText("/tmp/<i>x.DTA"));
    ASSERT_TRUE(question.contains(QStringLiteral("<i>x.DTA")));
    ASSERT_TRUE(question.contains(QLatin1Char('\n')));

    Seen seen;
    EXPECT_TRUE(AskAndClick(question, mirantos::text::OverwriteYes, &seen));
    EXPECT_EQ(seen.text, question);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.labelText, question);
    EXPECT_FALSE(seen.labelRich);

    EXPECT_FALSE(AskAndClick(question, mirantos::text::OverwriteNo, &seen));
}

} // namespace
