#include "SinePdf.h"

#include "NoiseAnalysisText.h"
#include "NoisePlots.h"
#include "SinePlots.h"
#include "SineText.h"
#include "SineTexts.h"

#include <qcustomplot.h>

#include <algorithm>

namespace mirantos {

using namespace analysisview;

namespace {

const QString kNone = QStringLiteral("—");
constexpr int kPlotPixelWidth = 900;

const analysis::TSineFigures* FiguresOf(const analysis::TRunFigures& r)
{
    return r.sine && r.sine->figures ? &*r.sine->figures : nullptr;
}

pdf::TTable SineTable(const std::vector<analysis::TRunFigures>& runs)
{
    pdf::TTable t;
    t.header << QString();
    for (const auto& r : runs)
        t.header << QString::fromStdString(r.label);
    using F = analysis::TSineFigures;
    auto row = [&](const char* name, const char* unit, auto cell) {
        QStringList cells{Utf8(name) + Utf8(unit)};
        for (const auto& r : runs)
            cells << (FiguresOf(r) != nullptr ? cell(*FiguresOf(r)) : kNone);
        t.rows.push_back(cells);
    };
    row(text::SineWindow, "", [](const F& f) {
        return Utf8(f.window == analysis::ESineWindow::Bh7 ? text::SineWindowBh7
                                                           : text::SineWindowRect) +
               QStringLiteral(", s = %1").arg(f.sideBins);
    });
    row(text::SineFundamental, " [Hz]", [](const F& f) { return Fixed(f.fundamentalHz, 6); });
    row(text::SineAmplitude, " [µV]", [](const F& f) { return Fixed(f.amplitudeUv, 4); });
    row(text::SineAmplitudeFs, " [dBFS]", [](const F& f) { return Fixed(f.amplitudeDbfs, 3); });
    row(text::SineSnr, " [dB]", [](const F& f) { return Fixed(f.snrDb, 2); });
    row(text::SineThd, " [dBc]", [](const F& f) { return Fixed(f.thdDbc, 2); });
    row(text::SineSinad, " [dB]", [](const F& f) { return Fixed(f.sinadDb, 2); });
    row(text::SineSfdr, " [dBc]", [](const F& f) { return Fixed(f.sfdrDbc, 2); });
    row(text::SineSpur, " [Hz]", [](const F& f) { return Fixed(f.spurHz, 6); });
    row(text::SineEnob, " [bit]", [](const F& f) { return Fixed(f.enobBits, 3); });
    row(text::SineEnobFs, " [bit]", [](const F& f) { return Fixed(f.enobFsBits, 3); });
    size_t harmonics = 0;
    for (const auto& r : runs)
        if (FiguresOf(r) != nullptr)
            harmonics = std::max(harmonics, FiguresOf(r)->harmonics.size());
    for (size_t i = 0; i < harmonics; ++i) {
        QStringList cells{Utf8(text::SineHarmonic).arg(i + 2) + " [dBc]"};
        for (const auto& r : runs) {
            const F* f = FiguresOf(r);
            cells << (f != nullptr && i < f->harmonics.size() && f->harmonics[i].dBc
                          ? Fixed(*f->harmonics[i].dBc, 2)
                          : kNone);
        }
        t.rows.push_back(cells);
    }
    auto fit = [](const F& f, auto value) { return f.fit ? value(*f.fit) : kNone; };
    using T = analysis::TSineFit;
    row(text::SineFitFrequency, " [Hz]",
        [&](const F& f) { return fit(f, [](const T& x) { return Fixed(x.fHz, 6); }); });
    row(text::SineFitResidual, " [µV]",
        [&](const F& f) { return fit(f, [](const T& x) { return Fixed(x.residualRmsUv, 5); }); });
    row(text::SineFitEnob, " [bit]", [&](const F& f) {
        return fit(f, [](const T& x) { return x.enobBits ? Fixed(*x.enobBits, 3) : kNone; });
    });
    // Why a run has no figures, or why its fit stopped short.
    QStringList why{Utf8(text::SineUndefined)};
    bool any = false;
    for (const auto& r : runs) {
        const std::string& reason = !r.sine           ? std::string()
                                    : r.sine->figures ? r.sine->figures->fitReason
                                                      : r.sine->reason;
        why << (reason.empty() ? kNone : SineReason(reason));
        any = any || !reason.empty();
    }
    if (any)
        t.rows.push_back(why);
    return t;
}

} // namespace

void AppendSineBlocks(std::vector<pdf::TBlock>& blocks,
                      const std::vector<analysis::TRunFigures>& runs, double pageWidth)
{
    if (std::none_of(runs.begin(), runs.end(), [](const auto& r) { return r.sine.has_value(); }))
        return;
    blocks.push_back(pdf::Heading(Utf8(text::SinePage)));
    blocks.back().ownPage = true;
    blocks.push_back(pdf::TableBlock(SineTable(runs), pageWidth));
    for (const auto& r : runs) {
        const analysis::TSineFigures* f = FiguresOf(r);
        if (f == nullptr)
            continue;
        // A heading stays with its plots: the three are one block.
        const pdf::TBlock head =
            pdf::Heading(Utf8(text::SinePage) + ": " + QString::fromStdString(r.label));
        const double upper = pageWidth * 0.42;
        const double lower = pageWidth * 0.36;
        blocks.push_back({head.height + upper + lower + pdf::kGapPt, false, false,
                          [f, head, upper, lower](QPainter& p, const QRectF& a) {
                              head.paint(p, a);
                              const double top = a.top() + head.height;
                              PaintSinePlots(static_cast<QCPPainter&>(p),
                                             QRectF(a.left(), top, a.width(), upper),
                                             QRectF(a.left(), top + upper, a.width(), lower), *f,
                                             kPlotPixelWidth);
                          }});
    }
}

} // namespace mirantos
