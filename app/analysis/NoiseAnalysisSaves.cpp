// The noise analysis window's saves: the picture with its caption, the
// histogram and spectrum CSVs, each through the save dialog and written whole
// or not at all, never over the file being analysed.
#include "NoiseAnalysisWindow.h"

#include "NoiseAnalysisText.h"

#include "AnalysisTexts.h"
#include "NoisePicture.h"
#include "NoiseReport.h"
#include "SinePanel.h"
#include "WholeFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QScopeGuard>

namespace mirantos {

using namespace analysisview;

namespace {

// The plots of a saved picture: as large as the plain picture was, the caption included.
const QSize kPlotsSize = kNoisePictureSize - QSize(0, kCaptionHeight);

} // namespace

bool TNoiseAnalysisWindow::SaveCaptioned(const QImage& plots, const QString& path,
                                         std::string* error) const
{
    if (plots.isNull())
        return false;
    const QImage image = WithCaption(plots, PictureCaptionText());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return false;
    return WriteFileWhole(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes.constData(), bytes.size()), error);
}

QImage TNoiseAnalysisWindow::RenderPlots(QSize size) const
{
    if (!analysed_)
        return {};
    return RenderNoisePlots(figures_, lowFrequency_, voltMode_, size);
}

QString TNoiseAnalysisWindow::PictureCaptionText() const
{
    TPictureFacts facts;
    facts.name = !Source().isEmpty() ? Source() : QFileInfo(file_).fileName();
    facts.channel = channel_;
    facts.rateSps = rateSps_;
    facts.samples = analysed_ ? figures_.samples : 0;
    facts.startUtc = QString::fromStdString(current_.startUtc);
    facts.made = QDateTime::currentDateTime();
    return PictureCaption(facts);
}

bool TNoiseAnalysisWindow::SavePicture(const QString& path, std::string* error) const
{
    return SaveCaptioned(RenderPlots(kPlotsSize), path, error);
}

bool TNoiseAnalysisWindow::SaveSinePicture(const QString& path, std::string* error) const
{
    return sine_->Figures() != nullptr &&
           SaveCaptioned(sine_->RenderPlots(kPlotsSize), path, error);
}

bool TNoiseAnalysisWindow::SaveHistogramCsv(const QString& path, std::string* error) const
{
    return analysed_ && WriteFileWhole(QFile::encodeName(path).toStdString(),
                                       analysis::HistogramCsv(figures_.histogram), error);
}

bool TNoiseAnalysisWindow::SaveSpectrumCsv(const QString& path, std::string* error) const
{
    return analysed_ && WriteFileWhole(QFile::encodeName(path).toStdString(),
                                       analysis::SpectrumCsv(figures_.spectrum), error);
}

bool TNoiseAnalysisWindow::SaveSineCsv(const QString& path, std::string* error) const
{
    const analysis::TSineFigures* f = sine_->Figures();
    return f != nullptr &&
           WriteFileWhole(QFile::encodeName(path).toStdString(), analysis::SineCsv(*f), error);
}

void TNoiseAnalysisWindow::ShowError(const QString& text)
{
    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    dialogs_->ShowError(this, text);
}

void TNoiseAnalysisWindow::AskAndSave(const char* filter, const char* suggested, const char* suffix,
                                      bool (TNoiseAnalysisWindow::*save)(const QString&,
                                                                         std::string*) const)
{
    ++dialogDepth_;
    const auto done = qScopeGuard([this] { --dialogDepth_; });
    QString name;
    if (!dialogs_->SaveFileName(this, Utf8(filter), QString::fromUtf8(suggested), &name))
        return;
    const bool suffixAdded = QFileInfo(name).suffix().isEmpty();
    if (suffixAdded)
        name += QChar('.') + QString::fromUtf8(suffix);
    // The data shown (or compared) is never written over, whatever was answered.
    if (IsAnalysedFile(name)) {
        dialogs_->ShowError(this, Utf8(text::AnalysisSaveOverSource) + "\n" + name);
        return;
    }
    // The dialog asked about the name as typed; the suffix made it another file.
    const std::string path = QFile::encodeName(name).toStdString();
    if (suffixAdded && ReplacesOnWrite(path) &&
        !dialogs_->AskOverwrite(this, Utf8(text::AnalysisOverwriteQuestion).arg(name)))
        return;
    std::string error;
    if (!(this->*save)(name, &error))
        dialogs_->ShowError(this,
                            Utf8(text::AnalysisSaveError) + "\n" +
                                (error.empty() ? name : QString::fromLocal8Bit(error.c_str())));
}

} // namespace mirantos
