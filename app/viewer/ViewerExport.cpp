// The trace viewer's export: the visible span, or the span between the two
// cursors when both are set, of the shown channels as a capture file that
// the viewer, the noise analysis and the command-line tool read like any
// other capture. Written whole (record/'s writer), never over the record
// being shown.

#include "TraceViewerWindow.h"

#include "CaptureFile.h"
#include "Texts.h"
#include "ViewerCursorTexts.h"
#include "ViewerCursors.h"
#include "ViewerTexts.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cmath>
#include <cstdio>
#include <ctime>

namespace mirantos {

using namespace trace;

namespace {

// The start time `seconds` later, in the capture's ISO form ("...T23:50:29Z",
// milliseconds only when the span does not start on a whole second); a start
// that does not read as that form stays as it is.
std::string StartAfter(const std::string& startUtc, double seconds)
{
    std::tm t{};
    int consumed = 0;
    if (std::sscanf(startUtc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &t.tm_year, &t.tm_mon,
                    &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &consumed) != 6 ||
        static_cast<size_t>(consumed) != startUtc.size() || seconds == 0)
        return startUtc;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const auto ms = static_cast<int64_t>(std::llround(seconds * 1000));
    const std::time_t at = ::timegm(&t) + static_cast<std::time_t>(ms / 1000);
    std::tm out{};
    ::gmtime_r(&at, &out);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &out);
    std::string s(text, n);
    if (ms % 1000 != 0) {
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(ms % 1000));
        s += frac;
    }
    return s + "Z";
}

} // namespace

TSampleSpan TTraceViewerWindow::ExportSpan() const
{
    if (const auto between = cursors_->Span())
        return *between;
    return VisibleSpan(view_.x, data_.Samples());
}

void TTraceViewerWindow::ExportClick()
{
    const int64_t n = data_.Samples();
    if (n == 0)
        return;
    const TSampleSpan span = ExportSpan();
    const bool ch0 = data_.Holds(0) && view_.show[0];
    const bool ch1 = data_.Holds(1) && view_.show[1];
    if (span.Count() <= 0 || (!ch0 && !ch1))
        return;

    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    const QFileInfo shown(filePath_);
    const QString suggested = filePath_.isEmpty()
                                  ? QString()
                                  : shown.dir().filePath(shown.completeBaseName() + "_" +
                                                         QString::number(span.first + 1) + "-" +
                                                         QString::number(span.last) + ".csv");
    QString name;
    if (!dialogs_->SaveFileName(this, U(text::ViewerExportFilter), suggested, &name) ||
        name.isEmpty())
        return;
    const bool suffixAdded = QFileInfo(name).suffix().isEmpty();
    if (suffixAdded)
        name += ".csv";
    // A capture only grows while the dialog is up; a shorter record is another one.
    if (span.last > data_.Samples())
        return;
    const std::string path = QFile::encodeName(name).toStdString();
    // The record shown (a capture still being written, too) is never written over.
    if (!filePath_.isEmpty() && SameFile(path, QFile::encodeName(filePath_).toStdString())) {
        dialogs_->ShowError(this, U(text::ViewerExportSameFile) + "\n" + name);
        return;
    }
    if (const std::string problem = WriteProblem(path); !problem.empty()) {
        ReleaseHeldOutput(path);
        dialogs_->ShowError(this, U(text::ViewerExportError) + "\n" +
                                      QString::fromLocal8Bit(problem.c_str()));
        return;
    }
    // The dialog asked about the name as typed; the suffix made it another file.
    if (suffixAdded && ReplacesOnWrite(path) &&
        !dialogs_->AskOverwrite(this, U(text::ViewerOverwriteQuestion).arg(name))) {
        ReleaseHeldOutput(path);
        return;
    }

    TCaptureInfo info = source_;
    info.chSel = ch0 && ch1 ? 2 : ch0 ? 0 : 1;
    info.gain = data_.Gain();
    info.rateSps = data_.RateSps();
    info.startUtc = StartAfter(source_.startUtc, SampleSeconds(span.first, data_.RateSps()));
    const auto from = static_cast<size_t>(span.first);
    const std::string text =
        CaptureText(info, ch0 ? data_.Channel(0).Codes().data() + from : nullptr,
                    ch1 ? data_.Channel(1).Codes().data() + from : nullptr, span.Count());
    std::string error;
    if (!WriteFileWhole(path, text, &error))
        dialogs_->ShowError(this,
                            U(text::ViewerExportError) + "\n" +
                                (error.empty() ? name : QString::fromLocal8Bit(error.c_str())));
}

} // namespace mirantos
