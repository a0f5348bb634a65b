#pragma once
// TmyStatus: every text of the three status-bar panels goes through SetPanelText.
// It writes to an IStatusPanels, which the window backs with its status bar and
// the command-line tool with the terminal.

#include <QString>
#include <cstdint>

class IStatusPanels {
public:
    virtual ~IStatusPanels() = default;
    virtual void SetPanelText(int index, const QString& text) = 0;
    virtual void SetPanelWidth(int index, int width) = 0;
    // Width of the text in pixels with the bar's own font.
    virtual int TextWidth(const QString& text) const = 0;
    // A progress text, replaced again at the next read: the panel takes text and
    // width now but may show them at its own pace, as long as the newest one ends
    // up shown. Any other text is shown at once.
    virtual void SetProgressText(int index, const QString& text, int width)
    {
        SetPanelText(index, text);
        SetPanelWidth(index, width);
    }
};

class TmyStatus {
public:
    // Panel roles.
    static constexpr int32_t BoardPanel = 0;
    static constexpr int32_t RunPanel = 1;
    static constexpr int32_t DetailPanel = 2;

    // Stores the three values and writes nothing. The status bar is borrowed.
    TmyStatus(IStatusPanels* statusBar, const QString& boardName, int32_t maxPanel);

    // Width a panel gets for a text `textWidth` pixels wide: the text plus 5,
    // but never less than 105.
    static int PanelWidthFor(int textWidth);

    // How soon a text must be on screen: at once, or at the panel's pace
    // (the progress readout, which the next read replaces anyway).
    enum class Pace { Now, Progress };

    // Sets the text and the width of panel `index`; an index outside
    // 0..MaxPanel changes nothing.
    void SetPanelText(const QString& text, int32_t index, Pace pace = Pace::Now);

    void ShowBoardVersion(const QString& id, const QString& version);
    void ShowBoardNotFound();
    void ShowBoardNoResponse();
    void ShowBoardError();
    void ShowMeasuring();
    void ShowMeasureEnd();
    void ShowMeasureAbort();
    void ShowFileLoaded();
    void ShowFileSaved();
    void ShowStarting();
    void ShowMeasureError();
    void ClearReadout();

    void ShowSample(int32_t n, uint32_t code);
    void ShowSample2ch(int32_t n, uint32_t code0, uint32_t code1);
    void ShowStatCode(uint32_t maxCode, uint32_t minCode, float sigma, int32_t channel);
    void ShowStatVolt(int32_t channel, double maxUv, double minUv, float sigmaUv);

private:
    IStatusPanels* StatusBar;
    QString BoardName;
    int32_t MaxPanel;
};
