// The real overwrite question and noise test dialog, answered from the event loop.

#include "WindowDialogs.h"
#include "Myfile.h"
#include "Texts.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
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

// The noise test's dialog brings back the bench's limits file, operator,
// database and folder, never the last board's serial number.
TEST(StationDialog, RemembersAllButTheSerialNumber)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    TQtWindowDialogs dialogs(nullptr);
    const QStringList typed{"/lab/afe7.json", "SN1", "aki", "/lab/r.sqlite", "/lab/raw"};
    auto fields = [](const mirantos::TStationRequest& r) {
        return QStringList{r.limitsPath, r.serial, r.operatorName, r.dbUrl, r.keepDir};
    };
    // Round one types into a fresh dialog; round two only reads what it shows.
    for (int round = 0; round < 2; ++round) {
        QStringList shown;
        bool startable = true;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TStationDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            shown = fields(d->Request());
            startable = d->StartBtn->isEnabled();
            if (round > 0)
                return d->reject();
            QLineEdit* edits[] = {d->LimitsEdit, d->SerialEdit, d->OperatorEdit, d->DbEdit,
                                  d->KeepEdit};
            for (int i = 0; i < 5; ++i)
                edits[i]->setText(typed[i]);
            d->StartBtn->click();
        });
        mirantos::TStationRequest request;
        request.dbUrl = QStringLiteral("/default.sqlite");
        EXPECT_EQ(dialogs.StationRequest(&request), round == 0);
        if (round == 0) {
            EXPECT_EQ(fields(request), typed);
        }
        // A fresh dialog shows the default database; the next one all but the serial number.
        const QStringList fresh{"", "", "", "/default.sqlite", ""};
        EXPECT_EQ(shown,
                  round == 0 ? fresh : QStringList({typed[0], "", typed[2], typed[3], typed[4]}));
        EXPECT_FALSE(startable); // no serial number yet
    }
}

} // namespace
