// Not a test: writes the README's example report (docs/noise-report.pdf) from
// data files, each analysed with the defaults of `mirantos-cli analyze`.
//   report_example OUT.pdf FILE...
#include "ComparisonPdf.h"
#include "SampleFile.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: report_example OUT.pdf FILE...\n");
        return 2;
    }
    std::vector<mirantos::analysis::TRunFigures> runs;
    for (int i = 2; i < argc; ++i) {
        mirantos::TSampleSet set;
        std::vector<std::string> warnings;
        std::string error;
        if (mirantos::ReadSampleFile(argv[i], 1, set, warnings, error) !=
            mirantos::TSampleLoad::Ok) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
            return 1;
        }
        mirantos::analysis::TRunFigures r;
        r.label = QFileInfo(QString::fromLocal8Bit(argv[i])).completeBaseName().toStdString();
        r.path = argv[i];
        const std::vector<uint32_t>& codes = set.chSel == 1 ? set.ch1 : set.ch0;
        r.settings = {set.rateIndex,
                      set.sinc5,
                      set.chSel,
                      set.chSel == 1 ? 1 : 0,
                      static_cast<int64_t>(codes.size()),
                      set.board,
                      set.startUtc,
                      set.simulated};
        if (!mirantos::analysis::Analyze(codes, set.rateSps, set.gain, {}, r.noise, &error)) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
            return 1;
        }
        r.low = mirantos::analysis::ComputeLowFrequency(codes, set.rateSps, set.gain);
        runs.push_back(std::move(r));
    }
    QByteArray pdf;
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!mirantos::WriteComparisonPdf(runs, {}, &pdf) || !out.open(QIODevice::WriteOnly) ||
        out.write(pdf) != pdf.size())
        return 1;
    return 0;
}
