#include "ControllerRig.h"

#include <QCoreApplication>

namespace mirantos::testing {

namespace {

TSessionParts RigParts(ControllerRig& rig, std::unique_ptr<IFtdiDriver> driver)
{
    TSessionParts parts;
    parts.Host = &rig.host;
    parts.Presenter = &rig.presenter;
    parts.Panels = &rig.panels;
    parts.MaxPanel = TmyStatus::DetailPanel;
    auto held = std::make_shared<std::unique_ptr<IFtdiDriver>>(std::move(driver));
    parts.MakeDriver = [held] { return std::move(*held); };
    parts.AskOverwrite = [&rig](const std::string&) {
        return rig.answerOverwrite && rig.answerOverwrite();
    };
    parts.PaintBox = &rig.paintBox;
    for (int i = 0; i < 2; ++i)
        parts.XLabels[static_cast<size_t>(i)] = &rig.xLabels[i];
    for (int i = 0; i < 11; ++i)
        parts.YLabels[static_cast<size_t>(i)] = &rig.yLabels[i];
    parts.TimerOwner = &rig.owner;
    return parts;
}

} // namespace

ControllerRig::ControllerRig(std::unique_ptr<IFtdiDriver> driver)
    : session(std::make_unique<TMeasureSession>(RigParts(*this, std::move(driver)))),
      record(session->Record())
{
    session->Create();
    message = session->Message();
    status = session->Status();
    adc = session->Board();
    graph = session->Graph();
    controller = session->Controller();
    QObject::connect(controller, &TMeasureController::RunStarted, &owner,
                     [this] { ++runs.started; });
    QObject::connect(controller, &TMeasureController::RunEnded, &owner,
                     [this](TMeasureController::RunEnd how) { runs.ends.push_back(how); });
}

ControllerRig::~ControllerRig() = default;

bool ControllerRig::PollUntilIdle(int maxPolls)
{
    for (int i = 0; i < maxPolls && Measuring(); ++i) {
        controller->Poll();
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    return !Measuring();
}

} // namespace mirantos::testing
