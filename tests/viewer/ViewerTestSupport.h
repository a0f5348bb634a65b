#pragma once
// Records for the trace viewer's tests, written by the program's own writers
// to a real folder, and the mouse as the canvas gets it.

#include "CaptureFile.h"
#include "MeasureRecord.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWidget>

#include <deque>
#include <string>
#include <vector>

#include "TraceView.h"
#include "TraceViewerWindow.h"
#include "ViewerDialogs.h"

namespace viewertest {

// 1 ksps with Sinc3, as the rate table has it.
inline mirantos::TCaptureInfo Info(int chSel)
{
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000;
    info.sinc5 = false;
    info.chSel = chSel;
    info.gain = 1;
    return info;
}

// Codes far above 2^24 whose low bits all differ: a float would merge them.
inline std::vector<uint32_t> Codes(int64_t n, uint32_t base, uint32_t salt)
{
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = base + ((static_cast<uint32_t>(i) * 2654435761u + salt) >> 19) +
                                    static_cast<uint32_t>(i);
    return v;
}

inline std::string WriteCapture(const QTemporaryDir& dir, const std::string& name, int chSel,
                                const std::vector<uint32_t>& c0, const std::vector<uint32_t>& c1)
{
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    mirantos::TCaptureWriter w;
    const size_t n = std::max(c0.size(), c1.size());
    if (!w.Open(path, true) || !w.Begin(Info(chSel)) ||
        !w.Write(c0.empty() ? nullptr : c0.data(), c1.empty() ? nullptr : c1.data(),
                 static_cast<int32_t>(n)) ||
        !w.Finish(mirantos::TCaptureEnd::Complete))
        return {};
    return path;
}

struct ScriptedViewerDialogs : mirantos::IViewerDialogs {
    std::deque<QString> openNames; // none left: cancelled
    std::vector<QString> errors;
    bool OpenFileName(QWidget*, const QString&, QString* chosen) override
    {
        if (openNames.empty())
            return false;
        *chosen = openNames.front();
        openNames.pop_front();
        return true;
    }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    // The export's save dialog (none left: cancelled) and overwrite question.
    std::deque<QString> saveNames;
    std::vector<QString> questions;
    bool overwrite = false;
    bool SaveFileName(QWidget*, const QString&, const QString&, QString* chosen) override
    {
        if (saveNames.empty())
            return false;
        *chosen = saveNames.front();
        saveNames.pop_front();
        return true;
    }
    bool AskOverwrite(QWidget*, const QString& question) override
    {
        questions.push_back(question);
        return overwrite;
    }
};

inline void Wheel(QWidget* w, QPoint at, int delta)
{
    QWheelEvent e(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

inline void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, mods);
    QCoreApplication::sendEvent(w, &e);
}

inline void Drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button,
                 Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    Mouse(w, QEvent::MouseButtonPress, from, button, mods);
    Mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, mods);
    Mouse(w, QEvent::MouseMove, to, Qt::NoButton, mods);
    Mouse(w, QEvent::MouseButtonRelease, to, button, mods);
}

// Two channels of 20 s at 1 ksps in run.csv (a lone spike in CH0 where asked),
// opened in a viewer of 1000 x 640 with scripted dialogs.
struct OpenViewer {
    static constexpr int64_t kSamples = 20000;
    explicit OpenViewer(int64_t spikeAt = -1)
    {
        if (spikeAt >= 0)
            c0[static_cast<size_t>(spikeAt)] += 3000000;
        capture = WriteCapture(dir, "run.csv", 2, c0, c1);
        window.resize(1000, 640);
        window.show();
        QCoreApplication::processEvents();
        opened = window.OpenFile(QString::fromStdString(capture));
    }
    QWidget* Canvas() { return window.Canvas(); }
    QPoint At(int column, int row) const
    {
        return window.PlotArea().topLeft() + QPoint(column, row);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QCoreApplication::sendEvent(window.Canvas(), &e);
    }
    mirantos::trace::TSampleSpan Visible() const
    {
        return mirantos::trace::VisibleSpan(window.View().x, kSamples);
    }
    QTemporaryDir dir;
    std::vector<uint32_t> c0 = Codes(kSamples, 0x9ABC0001u, 7),
                          c1 = Codes(kSamples, 0x41230003u, 99);
    std::string capture;
    bool opened = false;
    ScriptedViewerDialogs dialogs;
    mirantos::TTraceViewerWindow window{nullptr, &dialogs};
};

} // namespace viewertest
