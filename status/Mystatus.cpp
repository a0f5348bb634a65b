#include "Mystatus.h"

#include "ReadoutText.h"
#include "Texts.h"

using mirantos::U;

namespace {

constexpr int kPanelMargin = 5;
constexpr int kMinPanelWidth = 105;

} // namespace

TmyStatus::TmyStatus(IStatusPanels* statusBar, const QString& boardName, int32_t maxPanel)
    : StatusBar(statusBar), BoardName(boardName), MaxPanel(maxPanel)
{
}

int TmyStatus::PanelWidthFor(int textWidth)
{
    return textWidth > 100 ? textWidth + kPanelMargin : kMinPanelWidth;
}

void TmyStatus::SetPanelText(const QString& text, int32_t index, Pace pace)
{
    // A negative index is as out of range as one above MaxPanel.
    if (StatusBar == nullptr || index < 0 || index > MaxPanel)
        return;
    const int width = PanelWidthFor(StatusBar->TextWidth(text));
    if (pace == Pace::Progress) {
        StatusBar->SetProgressText(index, text, width);
        return;
    }
    StatusBar->SetPanelText(index, text);
    StatusBar->SetPanelWidth(index, width);
}

void TmyStatus::ShowBoardVersion(const QString& id, const QString& version)
{
    SetPanelText(id + U(mirantos::text::BoardVersionSeparator) + version, BoardPanel);
}

void TmyStatus::ShowBoardNotFound()
{
    SetPanelText(BoardName + U(mirantos::text::StatusNotFoundSuffix), BoardPanel);
}

void TmyStatus::ShowBoardNoResponse()
{
    SetPanelText(BoardName + U(mirantos::text::StatusNoResponseSuffix), BoardPanel);
}

void TmyStatus::ShowBoardError()
{
    SetPanelText(BoardName + U(mirantos::text::StatusErrorSuffix), BoardPanel);
}

void TmyStatus::ShowMeasuring()
{
    SetPanelText(U(mirantos::text::Measuring), RunPanel);
}

void TmyStatus::ShowMeasureEnd()
{
    SetPanelText(U(mirantos::text::MeasureEnd), RunPanel);
}

void TmyStatus::ShowMeasureAbort()
{
    SetPanelText(U(mirantos::text::MeasureAbort), RunPanel);
}

void TmyStatus::ShowFileLoaded()
{
    SetPanelText(U(mirantos::text::FileLoaded), RunPanel);
}

void TmyStatus::ShowFileSaved()
{
    SetPanelText(U(mirantos::text::FileSaved), RunPanel);
}

void TmyStatus::ShowStarting()
{
    SetPanelText(U(mirantos::text::Starting), DetailPanel);
}

void TmyStatus::ShowMeasureError()
{
    SetPanelText(U(mirantos::text::MeasureError), DetailPanel);
}

void TmyStatus::ClearReadout()
{
    SetPanelText(QString(), DetailPanel);
}

void TmyStatus::ShowSample(int32_t n, uint32_t code)
{
    SetPanelText(mirantos::SampleText(n, code), DetailPanel, Pace::Progress);
}

void TmyStatus::ShowSample2ch(int32_t n, uint32_t code0, uint32_t code1)
{
    SetPanelText(mirantos::SampleText2ch(n, code0, code1), DetailPanel, Pace::Progress);
}

void TmyStatus::ShowStatCode(uint32_t maxCode, uint32_t minCode, float sigma, int32_t channel)
{
    SetPanelText(mirantos::StatCodeText(maxCode, minCode, sigma, channel), DetailPanel);
}

void TmyStatus::ShowStatVolt(int32_t channel, double maxUv, double minUv, float sigmaUv)
{
    SetPanelText(mirantos::StatVoltText(channel, maxUv, minUv, sigmaUv), DetailPanel);
}
