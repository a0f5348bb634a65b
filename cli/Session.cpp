#include "Session.h"

namespace mirantos::cli {

TSessionParts TCliSession::Parts(TCliSession& self, std::unique_ptr<IFtdiDriver> driver,
                                 bool withGraph, bool replaceFiles)
{
    TSessionParts parts;
    parts.Host = &self.host_;
    parts.Presenter = &self.presenter_;
    parts.Panels = &self.panels_;
    parts.MaxPanel = TmyStatus::DetailPanel;
    if (driver) {
        // The session asks for its driver once, while it is being created.
        auto held = std::make_shared<std::unique_ptr<IFtdiDriver>>(std::move(driver));
        parts.MakeDriver = [held] { return std::move(*held); };
    }
    parts.AskOverwrite = [replaceFiles](const std::string&) { return replaceFiles; };
    if (withGraph)
        self.view_.Attach(parts);
    return parts;
}

TCliSession::TCliSession(const TControlValues& controls, std::ostream& err,
                         std::unique_ptr<IFtdiDriver> driver, QSize paintBoxSize, bool replaceFiles)
    : host_(controls), presenter_(err), view_(paintBoxSize),
      session_(Parts(*this, std::move(driver), !paintBoxSize.isEmpty(), replaceFiles))
{
    session_.Create();
}

QString TCliSession::ChannelReadout(int channel) const
{
    return session_.ReadoutText(channel, host_.VoltMode());
}

} // namespace mirantos::cli
