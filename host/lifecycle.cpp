// The plugin's lifecycle as the host drives it through the session.
#include "lifecycle.h"

#include "actions.h"
#include "http.h"
#include "services.h"
#include "ui.h"

Answering::Answering(Session &session)
{
    messenger::set_default_answer([&session](messenger::HostCall &call) { return answer_service(session, call); });
    messenger::set_ui_handler([&session](const messenger::UiCall &call) { return answer_windows_call(session, call); });
}

Answering::~Answering()
{
    messenger::clear_answers();
    messenger::set_ui_handler(nullptr);
}

// Alerts and requests the plugin still has with the host end before it
// goes, so that the copies it handed over come back to it.
void unload_plugin(Session &session)
{
    close_alerts(session);
    http_cancel_all(session);
    session.unload();
}

void finish_plugin(Session &session)
{
    if (session.stage() == Stage::Loaded || session.stage() == Stage::Started) session.stop();
    if (session.stage() == Stage::Stopped) unload_plugin(session);
}

void reload_plugin(Session &session)
{
    finish_plugin(session);
    session.load();
    session.start();
}
