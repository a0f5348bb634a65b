#pragma once
// The noise analysis window's "正弦波解析" page: the sine-wave test of the
// channel shown, with its options (window, side bins, harmonics, the tone's
// frequency), the figures named with their units, the spectrum in dBFS and the
// fit's residual against phase and against the fitted value. The analysis of a
// long record (a million samples: the spectrum and the fit's iterations) runs on
// a thread of its own, and only while the page is shown, so the window never
// waits for it; `Analysed` says when the page shows the result of what it holds.

#include "SineAnalysis.h"

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QCustomPlot;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QThread;

namespace mirantos {

class TSinePanel : public QWidget {
    Q_OBJECT
public:
    explicit TSinePanel(QWidget* parent = nullptr);
    ~TSinePanel() override;

    // The codes of the channel shown (copied), their rate and gain.
    void SetCodes(const std::vector<uint32_t>& codes, double rateSps, int gain);
    // Nothing to analyse; the plots and the table say `reason`.
    void Clear(const QString& reason);

    // The figures shown, or null (none yet, or not defined: Reason() says why).
    const analysis::TSineFigures* Figures() const;
    QString Reason() const { return reason_; }
    // What the report carries: the figures, or the reason the test is not defined for
    // what the page holds; nothing while it has not been computed.
    std::optional<analysis::TSineResult> Result() const;
    analysis::TSineOptions Options() const;
    // The three plots as shown, in one picture.
    QImage RenderPlots(QSize size) const;

signals:
    void Analysed();
    // The figures held changed (new ones, or none while new ones are computed).
    void Changed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Start();
    void Take(unsigned generation, std::shared_ptr<const analysis::TSineFigures> figures,
              const QString& reason);
    void ShowFigures();
    void ShowReason(const QString& reason);
    void TakeTone();

    std::vector<uint32_t> codes_;
    double rateSps_ = 0;
    int gain_ = 1;
    bool stale_ = false;
    unsigned generation_ = 0; // of the codes and options; a late result of older ones is dropped
    bool running_ = false;
    QPointer<QThread> worker_; // waited for when the page goes before it ends
    std::optional<double> toneHz_;
    std::shared_ptr<const analysis::TSineFigures> figures_;
    QString reason_;
    std::string libraryReason_; // of the result shown, empty while none is

    QComboBox* window_ = nullptr;
    QSpinBox* sideBins_ = nullptr;
    QSpinBox* harmonics_ = nullptr;
    QLineEdit* tone_ = nullptr;
    QLabel* message_ = nullptr;
    QGridLayout* table_ = nullptr;
    QWidget* tablePanel_ = nullptr;
    QCustomPlot* spectrum_ = nullptr;
    QCustomPlot* phase_ = nullptr;
    QCustomPlot* value_ = nullptr;
};

} // namespace mirantos
