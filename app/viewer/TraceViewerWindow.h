#pragma once
// "記録ビューア": a non-modal window over a whole record, a capture file or a
// .DTA file, or a capture growing while it runs. It shows the picture of
// trace/ (TTracePicture) exactly as the command-line tool writes it: the wheel
// zooms around the mouse, a right-button or Shift drag zooms to its box, a
// left drag pans, "全体表示" fits the record. Under the picture: the sample
// under the mouse (index, time, exact code and microvolts) and the figures of
// the visible span; "この範囲を解析" hands that span's codes to the noise
// analysis. Two time cursors (ViewerCursors.h) measure between samples;
// "戻る" (Backspace) walks back through the views left by every zoom, pan and
// fit; the keys of trace/ViewKeys.h zoom and pan; "CSV保存" writes the span
// as a capture file (ViewerExport.cpp).
//
// A capture run feeds it through FollowCapture, AppendSamples and EndCapture.
// While following, the view rolls with the last kFollowSeconds of the record
// (auto-scroll); zooming or panning leaves that, "最新を表示" returns to it.
// When the capture ends the whole record is shown.
// Frames are drawn by a timer at most every kFrameMs after samples came, so
// the window never falls behind a fast capture nor redraws for nothing.

#include "CaptureFile.h"
#include "TraceData.h"
#include "TracePicture.h"
#include "ViewerDialogs.h"
#include "ZoomHistory.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;

namespace mirantos {

class TNoiseAnalysisWindow;
class TTraceViewerWindow;
class TViewerAxisControls;
class TViewerCursors;

// The picture's widget: shows the composed image and passes the mouse on.
class TTraceCanvas : public QWidget {
public:
    explicit TTraceCanvas(TTraceViewerWindow* owner);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TTraceViewerWindow* owner_;
};

class TTraceViewerWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFollowSeconds = 10;
    static constexpr int kFrameMs = 33;
    // The span readout while following: at most this often.
    static constexpr int kFollowReadoutMs = 250;
    // A drag shorter than this (pixels) is a click, not a box.
    static constexpr int kMinBox = 3;

    // Without dialogs the window uses the real file dialog and message box.
    explicit TTraceViewerWindow(QWidget* parent = nullptr, IViewerDialogs* dialogs = nullptr);
    ~TTraceViewerWindow() override;

    // The open command: asks for a file, then OpenFile.
    void OpenClick();
    // Reads a capture or a .DTA file whole and shows all of it; false after
    // the error box (the shown record then stays; so does a capture being
    // followed).
    bool OpenFile(const QString& path);
    // Codes (false) or microvolts (true) on the Y axis and in the readouts,
    // as the main window's Y unit.
    void SetVoltMode(bool voltMode);
    bool VoltMode() const { return view_.voltMode; }

    // A capture run: starts an empty record with the run's settings.
    void FollowCapture(const TCaptureInfo& info, const QString& fileName);
    void AppendSamples(const uint32_t* c0, const uint32_t* c1, int n);
    void EndCapture();
    bool Following() const { return following_; }
    bool AutoScroll() const { return autoScroll_; }

    // The buttons' commands.
    void FitAllClick();
    void ShowLatestClick();
    void AnalyseClick();
    // 0 CH0, 1 CH1, 2 both (when the record holds both).
    void SelectChannels(int choice);
    // Vertical placement (Y fit anew), Y fit to the visible span from now on
    // ("Y軸合わせ", the Y key), the time of day on the time axis.
    void SetLayout(trace::TYLayout layout);
    void FitYClick();
    void SetWallClock(bool wallClock);
    // Back to the view before the last zoom, pan or fit.
    void BackClick();
    // Asks for a file and writes ExportSpan there as a capture.
    void ExportClick();
    // The cursors' span when both are set, else the visible one.
    trace::TSampleSpan ExportSpan() const;
    TViewerCursors& Cursors() const { return *cursors_; }

    // Where "この範囲を解析" sends the span: the main window's analysis
    // window. Without one the viewer opens a noise analysis window of its own.
    void SetAnalysisTarget(std::function<TNoiseAnalysisWindow*()> target);

    // True while its open dialog or error box is up: the owner must not
    // close it or hand it a file then.
    bool InDialog() const { return dialogDepth_ > 0; }

    // Shows seconds from..to as the command-line tool's --from/--to do.
    void ShowSeconds(double from, double to);

    const trace::TTraceData& Data() const { return data_; }
    const trace::TPictureView& View() const { return view_; }
    // The picture as shown (the canvas's size).
    const QImage& Image() const { return image_; }
    QWidget* Canvas() const;
    QRect PlotArea() const;
    QString CursorText() const;
    QString SpanText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TTraceCanvas;
    void CanvasResized();
    void Wheel(QPoint pos, int angleDelta);
    void Press(QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void Move(QPoint pos);
    void Release(QPoint pos);
    void Leave();
    void PaintOverlay(QPainter& p) const;

    void Show(trace::TViewX x, bool keepFollowing = false);
    void FollowTail();
    void Frame();
    void Compose();
    void ShowCursor(QPoint pos);
    void ShowSpan();
    void UpdateControls();
    void TakeData(trace::TTraceData&& data);
    void ShowError(const QString& text);
    // The view being left, for BackClick.
    void Remember();

    std::unique_ptr<IViewerDialogs> ownDialogs_;
    IViewerDialogs* dialogs_;
    int dialogDepth_ = 0;
    std::function<TNoiseAnalysisWindow*()> analysisTarget_;
    TNoiseAnalysisWindow* ownAnalysis_ = nullptr;

    trace::TTraceData data_;
    QString filePath_; // the file data_ came from, as opened
    trace::TPictureView view_;
    trace::TTracePicture picture_;
    QImage image_;
    bool yAuto_ = true;
    struct TViewState {
        trace::TViewX x;
        trace::TViewY y;
        bool yAuto = true;
        bool operator==(const TViewState&) const = default;
    };
    trace::TZoomHistory<TViewState> history_;
    std::unique_ptr<TViewerCursors> cursors_;
    TCaptureInfo source_; // the settings an export writes
    bool following_ = false;
    bool autoScroll_ = false;
    bool dirty_ = false;
    QElapsedTimer spanShown_;
    QTimer frameTimer_;

    enum class TDrag { None, Pan, Box };
    TDrag drag_ = TDrag::None;
    QPoint dragStart_;
    QPoint dragNow_;
    trace::TViewX dragView_;
    bool mouseInside_ = false;
    QPoint mouse_;

    TTraceCanvas* canvas_ = nullptr;
    QPushButton* open_ = nullptr;
    QLabel* channelLabel_ = nullptr;
    QComboBox* channelBox_ = nullptr;
    QPushButton* fitAll_ = nullptr;
    QPushButton* latest_ = nullptr;
    QPushButton* analyse_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* info_ = nullptr;
    QLabel* cursor_ = nullptr;
    QLabel* span_ = nullptr;
    std::unique_ptr<TViewerAxisControls> axes_;
};

} // namespace mirantos
