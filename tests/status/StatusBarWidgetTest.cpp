#include "StatusBarWidget.h"
#include "Mystatus.h"
#include "ReadoutText.h"
#include "UiFont.h"

#include <QElapsedTimer>

#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A text exactly `target` pixels wide in `metrics`, built from two characters.
std::optional<QString> TextOfWidth(const QFontMetrics& metrics, int target)
{
    const QString chars = QStringLiteral("il1.,:;|!'tfjrIJacdeghknopqsuvxyz0ABCDEMWあ");
    for (QChar a : chars) {
        for (QChar b : chars) {
            for (int i = 0; i <= 40; ++i) {
                for (int j = 0; j <= 40; ++j) {
                    const QString text = QString(i, a) + QString(j, b);
                    const int w = metrics.horizontalAdvance(text);
                    if (w == target)
                        return text;
                    if (w > target)
                        break;
                }
            }
        }
    }
    return std::nullopt;
}

class StatusBarWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.setFont(mirantos::UiFont(mirantos::WindowFontPixels));
        bar.resize(792, 25);
    }

    TStatusBarWidget bar;
    TmyStatus status{&bar, Q("MIRANTOS Board"), 2};
};

} // namespace

TEST_F(StatusBarWidgetTest, StartsWithThreeEmptyPanelsFiftyWide)
{
    EXPECT_FALSE(bar.isSizeGripEnabled());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(bar.PanelText(i).isEmpty());
        EXPECT_EQ(bar.PanelWidth(i), 50);
    }
    EXPECT_EQ(bar.findChildren<QLabel*>().size(), 3);
}

TEST_F(StatusBarWidgetTest, MeasuresWithItsOwnFont)
{
    const QString text = Q("MIRANTOS Board が見つかりませんでした");
    EXPECT_EQ(bar.TextWidth(text), QFontMetrics(bar.font()).horizontalAdvance(text));

    QFont bigger = bar.font();
    bigger.setPixelSize(24);
    const int before = bar.TextWidth(text);
    bar.setFont(bigger);
    EXPECT_GT(bar.TextWidth(text), before);
}

TEST_F(StatusBarWidgetTest, WidthRuleWithTheRealFont)
{
    const QFontMetrics metrics(bar.font());
    const std::optional<QString> w100 = TextOfWidth(metrics, 100);
    const std::optional<QString> w101 = TextOfWidth(metrics, 101);
    ASSERT_TRUE(w100.has_value());
    ASSERT_TRUE(w101.has_value());

    status.SetPanelText(*w100, 0);
    EXPECT_EQ(bar.PanelWidth(0), 105);
    status.SetPanelText(*w101, 1);
    EXPECT_EQ(bar.PanelWidth(1), 106);
    status.SetPanelText(QString(), 2);
    EXPECT_EQ(bar.PanelWidth(2), 105);
}

TEST_F(StatusBarWidgetTest, LongMessageGetsItsMeasuredWidth)
{
    status.ShowBoardNotFound();
    const QString text = Q("MIRANTOS Board が見つかりませんでした");
    EXPECT_EQ(bar.PanelText(0), text);
    const int w = QFontMetrics(bar.font()).horizontalAdvance(text);
    ASSERT_GT(w, 100);
    EXPECT_EQ(bar.PanelWidth(0), w + 5);

    status.ShowBoardVersion(Q("MIRANTOS"), Q("V1"));
    EXPECT_EQ(bar.PanelWidth(0), 105);
}

TEST_F(StatusBarWidgetTest, IndexThreeChangesNothing)
{
    status.SetPanelText(Q("計測中です"), 3);
    bar.SetPanelText(3, Q("x"));
    bar.SetPanelWidth(-1, 300);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(bar.PanelText(i).isEmpty());
        EXPECT_EQ(bar.PanelWidth(i), 50);
    }
    EXPECT_TRUE(bar.PanelText(3).isEmpty());
    EXPECT_EQ(bar.PanelWidth(3), 0);
}

TEST_F(StatusBarWidgetTest, PanelsAreIndependent)
{
    status.ShowMeasuring();
    status.ShowMeasureError();
    EXPECT_EQ(bar.PanelText(1), Q("計測中です"));
    EXPECT_EQ(bar.PanelText(2), Q("計測エラーで終了"));
    EXPECT_TRUE(bar.PanelText(0).isEmpty());
    EXPECT_EQ(bar.PanelWidth(0), 50);
}

TEST_F(StatusBarWidgetTest, ClickAnywhereEmitsClicked)
{
    status.ShowMeasuring();
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy spy(&bar, &TStatusBarWidget::clicked);
    QWindow* window = bar.windowHandle();
    ASSERT_NE(window, nullptr);

    // On a panel's text, then on the empty bar to the right of the panels.
    const QLabel* panel = bar.findChildren<QLabel*>().at(1);
    const QPoint onPanel = panel->mapTo(&bar, panel->rect().center());
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, onPanel);
    EXPECT_EQ(spy.count(), 1);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(780, 12));
    EXPECT_EQ(spy.count(), 2);

    QTest::mouseClick(window, Qt::RightButton, Qt::NoModifier, onPanel);
    EXPECT_EQ(spy.count(), 2);
}

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST_F(StatusBarWidgetTest, ProgressAtEveryReadIsPaintedAtMostThirtyTimesASecond)
{
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QLabel* detail = bar.findChildren<QLabel*>().at(2);
    PaintCounter counter;
    detail->installEventFilter(&counter);

    // A read every millisecond for half a second, the window kept alive between them.
    QElapsedTimer wall;
    wall.start();
    int reads = 0;
    while (wall.elapsed() < 500) {
        ++reads;
        status.ShowSample2ch(reads, 0x80000000u + static_cast<uint32_t>(reads), 0x7FFFFFFFu);
        // Every text is set at once, even when it is painted later.
        ASSERT_EQ(bar.PanelText(2),
                  mirantos::SampleText2ch(reads, 0x80000000u + reads, 0x7FFFFFFFu));
        QTest::qWait(1);
    }
    const qint64 elapsed = wall.elapsed();
    ASSERT_GT(reads, 50);
    EXPECT_LE(counter.paints, 2 * (elapsed / TStatusBarWidget::ProgressPeriodMs + 2))
        << reads << " reads in " << elapsed << " ms";

    // The newest progress text ends up on screen with its width.
    const QString last = bar.PanelText(2);
    QTRY_COMPARE_WITH_TIMEOUT(detail->text(), last, 1000);
    EXPECT_EQ(detail->minimumWidth(), bar.PanelWidth(2));
    EXPECT_EQ(bar.PanelWidth(2), TmyStatus::PanelWidthFor(bar.TextWidth(last)));
}

TEST_F(StatusBarWidgetTest, FinalTextIsShownAtOnceAndNotOvertakenByAnEarlierProgress)
{
    QLabel* detail = bar.findChildren<QLabel*>().at(2);
    status.ShowSample(1, 0x80000000u);
    status.ShowSample(2, 0x80000001u); // within the period: waits for its turn
    status.ShowStatCode(0x80000001u, 0x80000000u, 0.5f, 0);
    const QString stat = mirantos::StatCodeText(0x80000001u, 0x80000000u, 0.5f, 0);
    EXPECT_EQ(detail->text(), stat);
    EXPECT_EQ(detail->minimumWidth(), TmyStatus::PanelWidthFor(bar.TextWidth(stat)));
    QTest::qWait(3 * TStatusBarWidget::ProgressPeriodMs);
    EXPECT_EQ(detail->text(), stat);
    EXPECT_EQ(bar.PanelText(2), stat);
}
