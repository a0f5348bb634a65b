// The data and view commands: save, load, clear, the unit toggle and the
// channel switch, with the sound behaviour where a failure must not lose data.

#include "AppTestSupport.h"
#include "NoiseAnalysisWindow.h"

#include "Graph_2ch.h"
#include "Myfile.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString U(const char* s)
{
    return QString::fromUtf8(s);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void Measure(WindowHarness& h, int rate, int count, int channel)
{
    h.Select(rate, count, channel);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunToEnd());
    ASSERT_TRUE(h.window->Record().HasData());
}

TEST(WindowSave, ExtensionRuleAndCaption)
{
    QTemporaryDir dir;
    WindowHarness h;
    Measure(h, 13, 0, 0);
    const struct {
        const char* chosen;
        const char* written;
    } cases[] = {{"run1", "run1.DTA"}, {"run2.DTA", "run2.DTA"}, {"run3.dta", "run3.dta.DTA"}};
    for (const auto& c : cases) {
        h.dialogs.saveNames.push_back(dir.filePath(U(c.chosen)));
        h.window->Save1Click();
        const QString written = dir.filePath(U(c.written));
        EXPECT_TRUE(QFile::exists(written)) << c.written;
        EXPECT_EQ(h.window->windowTitle(),
                  U("MIRANTOS（シミュレーションボード） / v1.10 : ") + written);
        EXPECT_EQ(h.Panel(1), U("データファイルを保存しました"));
    }
    EXPECT_EQ(h.dialogs.lastSaveFilter, U("Data files (*.DTA)"));
    EXPECT_TRUE(ReadAll(dir.filePath(U("run1.DTA"))).startsWith("AD7177_DataFile:\r\nM:\r\n"));
}

TEST(WindowSave, NoDataCancelAndLongNames)
{
    QTemporaryDir dir;
    WindowHarness h;
    h.window->Save1Click();
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U("データがありません"));

    Measure(h, 13, 0, 0);
    h.window->DataClearClick();
    h.window->Save1Click();
    EXPECT_EQ(h.presenter.boxes.back().text, U("データがありません"));

    Measure(h, 13, 0, 0);
    h.dialogs.saveNames.push_back(QString());
    h.window->Save1Click();
    h.dialogs.saveNames.push_back(QStringLiteral(""));
    h.window->Save1Click();
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));

    // No fixed-size name buffer: a long path is saved by the same rule.
    const QString longName = dir.filePath(QString(150, QLatin1Char('x')));
    h.dialogs.saveNames.push_back(longName);
    h.window->Save1Click();
    EXPECT_TRUE(QFile::exists(longName + U(".DTA")));
}

// The window's save under the one writer's rule: a read-only file gets the
// save error box without a question; the noise analysis never saves over the
// held data set's file.
TEST(WindowSave, AReadOnlyFileGetsTheErrorBoxAndTheHeldFileIsNotSavedOver)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath(U("locked.DTA")), held = dir.filePath(U("held.DTA"));
    QFile f(locked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("old\n") == 4);
    f.close();
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
    WindowHarness h;
    Measure(h, 13, 0, 0);
    h.window->NoiseAnalysis1Click(); // open before the save: it learns the file from it
    h.dialogs.saveNames = {held, locked};
    h.window->Save1Click();
    h.window->Save1Click();
    EXPECT_TRUE(h.dialogs.questions.empty());
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U("データ保存できませんでした"));
    EXPECT_EQ(ReadAll(locked), QByteArray("old\n"));

    h.analysisDialogs.saveNames.push_back(held);
    h.window->NoiseWindow()->findChild<QPushButton*>(U("saveHistogram"))->click();
    ASSERT_EQ(h.analysisDialogs.errors.size(), 1u);
    EXPECT_EQ(h.analysisDialogs.errors[0], U("解析中のファイルには保存できません\n") + held);
    EXPECT_TRUE(ReadAll(held).startsWith("AD7177_DataFile:\r\n"));
}

TEST(WindowSave, DeclinedOverwriteWritesAndClaimsNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(U("old.DTA"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents\n");
    }
    WindowHarness h;
    Measure(h, 13, 0, 0);
    h.window->UpdateCaption(QString());
    const QString runPanel = h.Panel(1);
    h.dialogs.saveNames.push_back(path);
    h.dialogs.overwriteAnswers.push_back(false);
    h.window->Save1Click();
    ASSERT_EQ(h.dialogs.questions.size(), 1u);
    EXPECT_EQ(h.dialogs.questions[0], U("ファイル：") + path + U("があります。\n上書きしますか"));
    EXPECT_EQ(ReadAll(path), QByteArray("old contents\n"));
    EXPECT_EQ(h.Panel(1), runPanel);
    EXPECT_EQ(h.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
    EXPECT_TRUE(h.presenter.boxes.empty());

    h.dialogs.saveNames.push_back(path);
    h.dialogs.overwriteAnswers.push_back(true);
    h.window->Save1Click();
    EXPECT_TRUE(ReadAll(path).startsWith("AD7177_DataFile:"));
    EXPECT_EQ(h.Panel(1), U("データファイルを保存しました"));
}

TEST(WindowSave, FailedSaveShowsTheErrorAndChangesNothing)
{
    WindowHarness h;
    Measure(h, 13, 0, 0);
    const QString runPanel = h.Panel(1);
    h.dialogs.saveNames.push_back(U("/nonexistent-dir/sub/run"));
    h.window->Save1Click();
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U("データ保存できませんでした"));
    EXPECT_EQ(h.Panel(1), runPanel);
}

TEST(WindowLoad, LoadRestoresSettingsDataGraphAndReadout)
{
    QTemporaryDir dir;
    WindowHarness h;
    Measure(h, 12, 1, 2);
    const QString path = dir.filePath(U("both.DTA"));
    h.dialogs.saveNames.push_back(path);
    h.window->Save1Click();
    const QString statsCh0 = h.Panel(2);
    std::vector<uint32_t> codes(h.window->Record().Ch1.Code, h.window->Record().Ch1.Code + 200);

    WindowHarness g;
    Measure(g, 13, 0, 0);
    g.dialogs.openNames.push_back(path);
    g.window->Load1Click();
    const TMeasureRecord& r = g.window->Record();
    EXPECT_EQ(g.dialogs.lastOpenFilter, U("データファイル (*.DTA)"));
    EXPECT_EQ(r.Setting.CHSel, 2);
    EXPECT_EQ(r.Setting.spsSel, 12);
    EXPECT_EQ(r.Setting.Gain, 1);
    EXPECT_EQ(r.fCh0Valid + r.fCh1Valid, 2);
    EXPECT_EQ(r.Ch1.Count, 200);
    EXPECT_TRUE(std::equal(codes.begin(), codes.end(), r.Ch1.Code));
    EXPECT_EQ(g.window->ComboBox1->currentIndex(), 12);
    EXPECT_EQ(g.window->ComboBox2->currentIndex(), 1);
    EXPECT_EQ(g.window->ComboBox3->currentIndex(), 2);
    EXPECT_EQ(g.Panel(1), U("データファイル読み込みました"));
    EXPECT_EQ(g.Panel(2), statsCh0);
    EXPECT_EQ(g.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10 : ") + path);
    EXPECT_EQ(g.window->Label16->text(), U("200"));
    EXPECT_TRUE(g.window->ComboBox1->isEnabled());
    g.window->StatusBar1Click();
    EXPECT_TRUE(g.Panel(2).startsWith(U("CH1 : ")));

    // A start drops the file name from the caption.
    g.window->MeasureBtnClick();
    EXPECT_EQ(g.window->windowTitle(), U("MIRANTOS（シミュレーションボード） / v1.10"));
}

TEST(WindowLoad, OneChannelFileAfterTheOtherChannel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(U("ch1.DTA"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:1\r\nGainSel:0\r\n"
                "fSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n2147483648\r\n2147483650\r\nDEND:\r\n");
    }
    WindowHarness h;
    Measure(h, 13, 0, 0);
    h.dialogs.openNames.push_back(path);
    h.window->Load1Click();
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.fCh0Valid, 0);
    EXPECT_EQ(r.Ch0.Count, 0);
    EXPECT_EQ(r.fCh1Valid, 1);
    EXPECT_EQ(r.Ch1.Count, 2);
    EXPECT_TRUE(h.window->Sinc5_RB->isChecked());
    EXPECT_EQ(h.Panel(2), U("CH1 : 最大値：2147483650 / 最小値：2147483648 / pp値：2 digit / "
                            "標準偏差：1.00 digit"));
    const QString before = h.Panel(2);
    h.window->StatusBar1Click();
    EXPECT_EQ(h.Panel(2), before);
}

// The readout's microvolt extremes near ±1.2 V: exact from the codes, not in
// a float's 0.125 uV steps (which gave 1200001.88 / 1199999.13 / pp 2.75);
// CH1 (near -1.2 V) is read by the same code.
TEST(WindowView, MicrovoltReadoutNearVoltsOfOffsetIsExact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(U("v.DTA"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:2\r\nGainSel:0\r\n"
                "fSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n3178275000,1116691000\r\n"
                "3178277433,1116693433\r\n3178276000,1116692000\r\nDEND:\r\n");
    }
    WindowHarness h;
    h.dialogs.openNames.push_back(path);
    h.window->Load1Click();
    h.window->MenuY_VoltClick();
    EXPECT_TRUE(h.Panel(2).startsWith(
        U("CH0 : 最大値：1200001.90[uV] / 最小値：1199999.07[uV] / pp値：2.83[uV] / ")))
        << h.Panel(2).toStdString();
}

TEST(WindowLoad, FailedLoadKeepsEverything)
{
    QTemporaryDir dir;
    const QString bad = dir.filePath(U("bad.DTA"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("AD7177_DataFile:\r\nM:\r\nspsSel:1\r\nDataCountSel:3\r\nCHSel:0\r\nGainSel:0\r\n"
                "fSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n1\r\n2\r\nX:1\r\n");
    }
    WindowHarness h;
    Measure(h, 13, 0, 0);
    QString saved = dir.filePath(U("kept.DTA"));
    h.dialogs.saveNames.push_back(saved);
    h.window->Save1Click();
    const QString caption = h.window->windowTitle();
    const QString readout = h.Panel(2);
    const QString top = h.window->YLabel(0)->text();
    const uint32_t first = h.window->Record().Ch0.Code[0];

    h.dialogs.openNames.push_back(bad);
    h.window->Load1Click();
    ASSERT_EQ(h.presenter.boxes.size(), 1u);
    EXPECT_EQ(h.presenter.boxes[0].text, U("データファイルの内容が正しくありませんでした"));
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.fCh0Valid, 1);
    EXPECT_EQ(r.Ch0.Count, 100);
    EXPECT_EQ(r.Ch0.Code[0], first);
    EXPECT_EQ(r.Setting.spsSel, 13);
    EXPECT_EQ(h.window->ComboBox1->currentIndex(), 13);
    EXPECT_EQ(h.window->windowTitle(), caption);
    EXPECT_EQ(h.Panel(2), readout);
    EXPECT_EQ(h.window->YLabel(0)->text(), top);
    EXPECT_TRUE(h.window->MeasureBtn->isEnabled());

    // A file that does not exist is reported the same way.
    h.dialogs.openNames.push_back(dir.filePath(U("missing.DTA")));
    h.window->Load1Click();
    EXPECT_EQ(h.presenter.boxes.back().text, U("データファイルの内容が正しくありませんでした"));
    EXPECT_EQ(h.window->Record().Ch0.Count, 100);
}

TEST(WindowView, UnitToggleRedrawsAndShowsTheSameChannel)
{
    WindowHarness h;
    Measure(h, 13, 0, 2);
    h.window->StatusBar1Click(); // CH1 stands
    const QString codeText = h.Panel(2);
    const QString codeTop = h.window->YLabel(0)->text();
    h.window->MenuY_VoltClick();
    EXPECT_TRUE(h.window->MenuY_Volt->isChecked());
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH1 : ")));
    EXPECT_TRUE(h.Panel(2).endsWith(U("[uV]")));
    EXPECT_NE(h.window->YLabel(0)->text(), codeTop);
    h.window->MenuY_VoltClick();
    EXPECT_EQ(h.Panel(2), codeText);
    EXPECT_EQ(h.window->YLabel(0)->text(), codeTop);
}

TEST(WindowView, UnitToggleWithoutDataDrawsTheDefaultAndLeavesTheReadout)
{
    WindowHarness h;
    h.window->MenuY_VoltClick();
    EXPECT_EQ(h.window->YLabel(0)->text(), U("1.16"));
    EXPECT_EQ(h.window->YLabel(10)->text(), U("-1.16"));
    EXPECT_EQ(h.Panel(2), QString());
}

TEST(WindowView, ClearDropsTheDataSetAndDrawsTheDefault)
{
    WindowHarness h;
    Measure(h, 13, 0, 0);
    h.window->UpdateCaption(U("/tmp/x.DTA"));
    const QString readout = h.Panel(2);
    h.window->DataClearClick();
    EXPECT_FALSE(h.window->Record().HasData());
    EXPECT_EQ(h.window->YLabel(0)->text(), U("2147484648"));
    EXPECT_EQ(h.Panel(2), readout);
    EXPECT_EQ(h.window->windowTitle(),
              U("MIRANTOS（シミュレーションボード） / v1.10 : /tmp/x.DTA"));
}

TEST(WindowView, FailedStartKeepsTheSettingsOfTheHeldDataSet)
{
    QTemporaryDir dir;
    WindowHarness h;
    Measure(h, 13, 1, 2);
    h.sim->Config().faults.ngCommand = "S3";
    h.Select(10, 3, 1);
    h.window->MeasureBtnClick();
    EXPECT_EQ(h.Panel(0), U("MIRANTOS Board がエラーです"));
    const TMeasureRecord& r = h.window->Record();
    EXPECT_EQ(r.Setting.CHSel, 2);
    EXPECT_EQ(r.Setting.spsSel, 13);
    // The two-channel data set is still saved as such and still switches.
    const QString path = dir.filePath(U("kept.DTA"));
    h.dialogs.saveNames.push_back(path);
    h.window->Save1Click();
    EXPECT_TRUE(ReadAll(path).contains("CHSel:2\r\n"));
    h.window->StatusBar1Click();
    EXPECT_TRUE(h.Panel(2).startsWith(U("CH1 : ")));
}

TEST(WindowAnalysis, TheNoiseViewFollowsTheHeldDataSet)
{
    QTemporaryDir dir;
    WindowHarness h;
    EXPECT_EQ(h.window->NoiseAnalysis1->text(), U("ノイズ解析(&A)..."));
    EXPECT_FALSE(h.window->NoiseAnalysis1->isEnabled());
    h.window->NoiseAnalysis1Click(); // nothing held: nothing opens
    EXPECT_EQ(h.window->NoiseWindow(), nullptr);

    Measure(h, 8, 0, 2); // 397.5 / 400 sps, 100 pairs, Sinc3
    ASSERT_TRUE(h.window->NoiseAnalysis1->isEnabled());
    h.window->NoiseAnalysis1Click();
    mirantos::TNoiseAnalysisWindow* view = h.window->NoiseWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    ASSERT_NE(view->Figures(), nullptr);
    EXPECT_EQ(view->Figures()->samples, 100);
    EXPECT_DOUBLE_EQ(view->Figures()->rateSps, 400.0);
    EXPECT_EQ(view->Figures()->maxCode, h.window->Graph()->Ch0MaxCode());
    const QString path = dir.filePath(U("both.DTA"));
    h.dialogs.saveNames.push_back(path);
    h.window->Save1Click();

    // A run start clears the held set, and with it the view, until the run ends.
    h.Select(13, 0, 1, false);
    h.window->MeasureBtnClick();
    EXPECT_FALSE(view->HasDataSet());
    EXPECT_FALSE(h.window->NoiseAnalysis1->isEnabled());
    ASSERT_TRUE(h.RunToEnd(500));
    ASSERT_NE(view->Figures(), nullptr);
    EXPECT_EQ(view->Channel(), 1);
    EXPECT_DOUBLE_EQ(view->Figures()->rateSps, 10000.0);

    // A loaded file replaces it; a failed load keeps it; clear empties it.
    h.dialogs.openNames.push_back(path);
    h.window->Load1Click();
    ASSERT_NE(view->Figures(), nullptr);
    EXPECT_EQ(view->Channel(), 0);
    h.dialogs.openNames.push_back(dir.filePath(U("missing.DTA")));
    h.window->Load1Click();
    EXPECT_EQ(view->Channel(), 0);
    h.window->DataClearClick();
    EXPECT_FALSE(view->HasDataSet());
    EXPECT_FALSE(h.window->NoiseAnalysis1->isEnabled());
}

TEST(WindowServices, FatalMemoryPathClosesTheWindowAndNamesThePart)
{
    // The board driver is the part whose creation the window can be made to fail.
    RecordingPresenter presenter;
    TFormMainDeps deps;
    deps.Presenter = &presenter;
    deps.MakeDriver = []() -> std::unique_ptr<IFtdiDriver> { throw std::bad_alloc(); };
    TFormMain w(std::move(deps));
    EXPECT_TRUE(w.ConstructionFailed());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, U("致命的なメモリエラーです:AD7177"));
    EXPECT_EQ(presenter.boxes[0].caption, U("MIRANTOS Board"));
    // What was made before the failure is gone again; nothing later was made.
    EXPECT_EQ(w.Board(), nullptr);
    EXPECT_EQ(w.Graph(), nullptr);
    EXPECT_EQ(w.Controller(), nullptr);
}

} // namespace
