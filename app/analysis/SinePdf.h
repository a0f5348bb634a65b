#pragma once
// The noise report's sine-wave section, for runs that carry the sine-wave test:
// one table of every run's figures (named with their units, the options they were
// taken with, and the reason where a run has none), then each run's spectrum and
// fit residual as vector plots.

#include "Comparison.h"
#include "PdfPage.h"

#include <vector>

namespace mirantos {

// Nothing when no run carries the test.
void AppendSineBlocks(std::vector<pdf::TBlock>& blocks,
                      const std::vector<analysis::TRunFigures>& runs, double pageWidth);

} // namespace mirantos
