#pragma once
// The sine-wave figures as the window's table and the report name them: one row
// per figure with what it is, its value and unit (no widgets, so the page and the
// PDF share it).

#include "SineAnalysis.h"

#include <QString>

#include <string>
#include <vector>

namespace mirantos::analysisview {

struct TSineRow {
    QString key;   // the value label's object name after "sine_": "snr", "h2", "fit_phase" ...
    QString name;  // "SNR (信号対雑音比)"
    QString value; // "98.31 dB"
};

// The spectral figures, each harmonic, then the fit's (or why it is missing).
std::vector<TSineRow> SineRows(const analysis::TSineFigures& f);
// The library's reason in the window's language; another one as it comes.
QString SineReason(const std::string& reason);

} // namespace mirantos::analysisview
