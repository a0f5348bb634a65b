// The real overwrite question, capture and noise test dialogs, answered from
// the event loop; the capture dialog's arithmetic.

#include "WindowDialogs.h"
#include "CaptureDialog.h"
#include "CaptureFile.h"
#include "Myfile.h"
#include "Startup.h"
#include "Texts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

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

// The capture dialog: a name without a suffix gets ".csv", the file and the
// length come back next time, and the size shown covers the file written.
TEST(CaptureDialog, AddsTheSuffixRemembersTheFileAndLengthAndShowsTheSize)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    TQtWindowDialogs dialogs(nullptr);
    const QString typed = dir.filePath(QStringLiteral("run1"));
    for (int round = 0; round < 2; ++round) {
        QString size;
        mirantos::TCaptureRequest shown;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TCaptureDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            shown = d->Request();
            if (round > 0)
                return d->reject();
            d->PathEdit->setText(typed);
            d->ByCount_RB->setChecked(true);
            d->CountSpin->setValue(250000);
            size = d->SizeLabel->text();
            d->StartBtn->click();
        });
        mirantos::TCaptureRequest request = mirantos::DefaultCaptureRequest(13, true, 2);
        EXPECT_EQ(dialogs.CaptureRequest(&request), round == 0);
        if (round == 0) {
            EXPECT_EQ(request.path, typed + ".csv");
            EXPECT_EQ(size, QStringLiteral("約 16.6 MB"));
        } else {
            EXPECT_EQ(shown.path, typed + ".csv");
            EXPECT_FALSE(shown.byDuration);
            EXPECT_EQ(shown.count, 250000);
        }
    }
}

// The size the dialog shows is never less than what the capture writes, and
// not much more, for codes anywhere in the range.
TEST(CaptureRequest, FileSizeCoversTheWrittenFile)
{
    QTemporaryDir dir;
    mirantos::TCaptureRequest r = mirantos::DefaultCaptureRequest(13, true, 2);
    r.byDuration = false;
    r.count = 123456;
    std::vector<uint32_t> codes(static_cast<size_t>(r.count));
    uint32_t x = 12345;
    for (uint32_t& c : codes)
        c = x = x * 1664525u + 1013904223u;
    mirantos::TCaptureInfo info{13, 10000, false, 2, 1, "MIRANTOS 1.10", "2026-12-08T14:00:00Z"};
    mirantos::TCaptureWriter w;
    ASSERT_TRUE(w.Open(QFile::encodeName(dir.filePath("c.csv")).toStdString(), true) &&
                w.Begin(info) && w.Write(codes.data(), codes.data(), r.count) &&
                w.Finish(mirantos::TCaptureEnd::Complete));
    const int64_t written = QFileInfo(dir.filePath("c.csv")).size();
    EXPECT_GE(mirantos::RequestFileBytes(r), written);
    EXPECT_LE(mirantos::RequestFileBytes(r), written + written / 20);
}

// After the start-up's translations Qt's own buttons read Japanese.
TEST(QtTranslations, StandardButtonsReadJapanese)
{
    QTranslator* translator = InstallQtTranslations(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr);
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
    const QString cancel = box.button(QDialogButtonBox::Cancel)->text();
    const QString open = box.button(QDialogButtonBox::Open)->text();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_TRUE(cancel.startsWith(QString::fromUtf8("キャンセル"))) << cancel.toStdString();
    EXPECT_TRUE(open.startsWith(QString::fromUtf8("開く"))) << open.toStdString();
}

} // namespace
