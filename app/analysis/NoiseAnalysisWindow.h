#pragma once
// "ノイズ解析": a non-modal window with the noise figures of the held data set,
// its histogram, its noise spectral density, its Allan deviation and its
// 0.1-10 Hz trace, for one channel at a time.
// The owner hands it the data set whenever one becomes complete (a run ends, a
// stopped run is kept, a file is loaded), clears it when the data set is
// cleared and passes on the Y unit; the window copies the codes it is given,
// so it never reads the record behind the owner's back.

#include "AnalysisDialogs.h"
#include "Comparison.h"
#include "LowFrequency.h"
#include "NoiseAnalysis.h"
#include "NoisePlots.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class TMeasureRecord;

namespace mirantos {

class TComparisonPanel;
class TNoisePlotPanel;
class TSinePanel;

// The texts of the low-frequency rows: drift, 0.1-10 Hz pp median, pp maximum
// and rms; without the band-limited figures the last three give the reason.
std::array<QString, 4> LowFrequencyValueTexts(const analysis::TLowFrequencyFigures& lf);

// What a span's file tells of the capture it comes from (empty where it does not).
struct TCodesOrigin {
    std::string board;
    std::string startUtc;
    bool simulated = false;
};

class TNoiseAnalysisWindow : public QWidget {
    Q_OBJECT
public:
    // Without dialogs the window uses the real file dialog and message box.
    explicit TNoiseAnalysisWindow(QWidget* parent = nullptr, IAnalysisDialogs* dialogs = nullptr);
    ~TNoiseAnalysisWindow() override;

    // Copies the codes of the record's valid channels and analyses CH0 (CH1 when
    // only CH1 holds data). rateSps from the rate index and filter; gain 1 for a file.
    // `file`: where the data set is stored, if anywhere; no save writes over it.
    void SetDataSet(const TMeasureRecord& record, double rateSps, int gain,
                    const QString& file = {});
    // Codes from elsewhere (one or two channels; an empty vector is a channel
    // not held), with a text naming where they come from, shown above the
    // figures ("記録: run.csv 12.000〜15.500 s"). The next SetDataSet replaces them.
    // `origin`: the capture's board and start, where the file names them.
    void SetCodes(std::vector<uint32_t> ch0, std::vector<uint32_t> ch1, double rateSps, int gain,
                  const QString& source, const QString& file = {}, const TCodesOrigin& origin = {});
    void ClearDataSet();
    // The file the data set shown is now stored in (the owner saved it).
    void SetFile(const QString& file) { file_ = file; }
    // The source text shown; empty for the main window's data set.
    QString Source() const;
    // Codes (false) or microvolts (true) on the histogram's axis, as the main
    // window's Y unit.
    void SetVoltMode(bool voltMode);

    bool HasDataSet() const;
    // The "正弦波解析" page (its figures are computed while it is shown).
    TSinePanel* SinePage() const { return sine_; }
    // The figures shown, or null while there are none (no data, fewer than 10 samples).
    const analysis::TNoiseFigures* Figures() const;
    // The low-frequency figures of the channel shown, or null with the figures above.
    const analysis::TLowFrequencyFigures* LowFrequency() const;
    // The channel shown (0 or 1), -1 without data.
    int Channel() const;
    void SelectChannel(int channel);

    // The four plots as shown, in one picture.
    QImage RenderPlots(QSize size = kNoisePictureSize) const;
    // The saved picture's caption: data, channel, rate, span and the time now.
    QString PictureCaptionText() const;
    // The picture (PNG, the plots with the caption under them) and the CSVs, each written whole or
    // not at all; on false `error` (if given) says why when the write failed.
    bool SavePicture(const QString& path, std::string* error = nullptr) const;
    bool SaveHistogramCsv(const QString& path, std::string* error = nullptr) const;
    bool SaveSpectrumCsv(const QString& path, std::string* error = nullptr) const;
    // The "正弦波解析" page's picture (spectrum and residuals, with the caption) and its
    // spectrum as f_Hz,dBFS; false while the page shows no figures.
    bool SaveSinePicture(const QString& path, std::string* error = nullptr) const;
    bool SaveSineCsv(const QString& path, std::string* error = nullptr) const;
    // Reference files shown beside the current data, up to seven; each is
    // analysed on the channel shown with the window's options and kept when the
    // current data changes. False (with a message naming the file) when the
    // file cannot be read, lacks the channel, is too short, or seven are held.
    bool AddReference(const QString& path);
    void RemoveReference(int index);
    int ReferenceCount() const;
    // The current data (first) and the references analysed on the channel
    // shown; empty without figures of the current data.
    std::vector<analysis::TRunFigures> Runs() const;
    // The report of Runs() as PDF, written whole or not at all, with the
    // title and notes last asked for.
    bool SaveReport(const QString& path, std::string* error = nullptr) const;

    // True while one of its dialogs is open: the owner must not change the
    // data set under it (it would save the new one).
    bool InDialog() const { return dialogDepth_ > 0; }

private:
    void TakeCodes(double rateSps, int gain);
    void Analyse();
    void ShowFigures();
    void ShowLowFrequencyFigures();
    void ShowEmpty(const char* message);
    void FillSegmentChoices(int samples);
    void AskAndAddReferences();
    // The title and notes, then the file.
    void AskAndSaveReport();
    void ShowError(const QString& text);
    // The save buttons act on the page shown: enabled where it has something to save.
    void UpdateSaveButtons();
    bool SinePageShown() const;
    // The plots with the caption under them, as PNG, written whole.
    bool SaveCaptioned(const QImage& plots, const QString& path, std::string* error) const;
    // The window's choices as the library's options.
    analysis::TAnalysisOptions Options() const;
    // The band typed, when it parses and lies within 0 to half the rate;
    // otherwise the message says so and the band in force stays.
    void TakeBand();
    // The band field's text for the band in force (empty: the whole band).
    QString BandText() const;
    // The list and table, and the overlays when there are references.
    void ShowReferences();
    // The save dialog, then the name's suffix: a name that became an existing
    // file is asked about again; the analysed file and the references are
    // refused with a box.
    void AskAndSave(const char* filter, const char* suggested, const char* suffix,
                    bool (TNoiseAnalysisWindow::*save)(const QString&, std::string*) const);
    // Whether `path` is the file of the data shown or of a reference.
    bool IsAnalysedFile(const QString& path) const;

    std::unique_ptr<IAnalysisDialogs> ownDialogs_;
    IAnalysisDialogs* dialogs_;
    int dialogDepth_ = 0;

    std::array<std::vector<uint32_t>, 2> codes_;
    std::array<bool, 2> held_{false, false};
    double rateSps_ = 0;
    int gain_ = 1;
    QString file_; // the shown data's file, empty when it has none
    int channel_ = -1;
    bool voltMode_ = false;
    bool analysed_ = false;
    analysis::TNoiseFigures figures_;
    // Computed once per data set and channel: window and segment do not touch them.
    analysis::TLowFrequencyFigures lowFrequency_;
    bool lowFrequencyStale_ = true;
    // The band of the band rms; both absent: 0 to half the rate.
    std::optional<double> bandLow_;
    std::optional<double> bandHigh_;

    // The report's title (empty: the default) and notes, kept for the next report.
    QString reportTitle_;
    QString reportNotes_;
    // The current data's rate index and filter, where known.
    analysis::TRunSettings current_;

    QLabel* channelLabel_ = nullptr;
    QComboBox* channelBox_ = nullptr;
    QComboBox* windowBox_ = nullptr;
    QComboBox* segmentBox_ = nullptr;
    QLineEdit* band_ = nullptr;
    QSplitter* split_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* source_ = nullptr;
    std::vector<QLabel*> values_;
    TNoisePlotPanel* plots_ = nullptr;
    TComparisonPanel* comparison_ = nullptr;
    QTabWidget* pages_ = nullptr;
    TSinePanel* sine_ = nullptr;
    QPushButton* savePicture_ = nullptr;
    QPushButton* saveHistogram_ = nullptr;
    QPushButton* saveSpectrum_ = nullptr;
    QPushButton* addReference_ = nullptr;
    QPushButton* saveReport_ = nullptr;
};

} // namespace mirantos
