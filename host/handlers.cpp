// What each command of tobrisk-host does. A handler checks its words, then
// leaves the work to the job's own file: the session, the actions, http,
// the preferences window, the model.
#include "handlers.h"

#include "actions.h"
#include "expect.h"
#include "http.h"
#include "lifecycle.h"
#include "message_loop.h"
#include "prefs.h"
#include "watchdog.h"
#include "words.h"

// --- Lifecycle ------------------------------------------------------------------

Next run_plugin(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 2)) return Next::Go;
    session.start_plugin(session.options.resolve(input.words[1]));
    return Next::Go;
}

Next run_load(Session &session, const Input &)
{
    session.load();
    return Next::Go;
}

Next run_start(Session &session, const Input &)
{
    session.start();
    return Next::Go;
}

Next run_stop(Session &session, const Input &)
{
    session.stop();
    return Next::Go;
}

Next run_unload(Session &session, const Input &)
{
    unload_plugin(session);
    return Next::Go;
}

Next run_reload(Session &session, const Input &)
{
    reload_plugin(session);
    return Next::Go;
}

Next run_quit(Session &, const Input &)
{
    return Next::Quit;
}

// --- Scripts ----------------------------------------------------------------------

Next run_tcl(Session &session, const Input &input)
{
    settle_tcl_failure(session);
    messenger::EvalResult result = session.evaluate(input.rest(1));
    if (result.code != -1) session.journal.add_tcl_result(input.number, result.code, result.result);
    return Next::Go;
}

Next run_say(Session &session, const Input &input)
{
    type_line(session, input.rest(1));
    return Next::Go;
}

Next run_wait(Session &session, const Input &input)
{
    long milliseconds;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, milliseconds)) return Next::Go;
    if (milliseconds < 0) {
        session.error("wait takes milliseconds from 0 on");
        return Next::Go;
    }
    wait(session, (int)milliseconds);
    return Next::Go;
}

Next run_timeout(Session &session, const Input &input)
{
    long seconds;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, seconds)) return Next::Go;
    if (seconds < 0) {
        session.error("timeout takes seconds from 0 on");
        return Next::Go;
    }
    watchdog_set_timeout((int)seconds);
    return Next::Go;
}

Next run_button(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 100)) return Next::Go;
    std::vector<int> buttons;
    for (size_t index = 1; index < input.words.size(); index++) {
        long button;
        if (!int_word(session, input, index, button)) return Next::Go;
        buttons.push_back((int)button);
    }
    session.buttons = buttons;
    return Next::Go;
}

// --- Contact list, connections, contacts ------------------------------------------

Next run_list(Session &session, const Input &)
{
    std::vector<std::string> lines = session.model.list.describe();
    if (lines.empty()) session.out.line("the contact list has no entries of plugins");
    for (const std::string &line : lines) session.out.line(line);
    return Next::Go;
}

Next run_click(Session &session, const Input &input)
{
    long id;
    if (!count_between(session, input, 2, 2) || !int_word(session, input, 1, id)) return Next::Go;
    click(session, (int32_t)id);
    return Next::Go;
}

Next run_model_line(Session &session, const Input &input)
{
    std::string problem;
    if (!session.model.add_from_words(input.words, problem)) session.error(problem);
    return Next::Go;
}

Next run_fixture(Session &session, const Input &input)
{
    if (!count_between(session, input, 2, 2)) return Next::Go;
    session.load_fixture(session.options.resolve(input.words[1]));
    return Next::Go;
}

Next run_connections(Session &session, const Input &)
{
    if (session.model.connections.empty()) session.out.line("no connections");
    for (const Connection &connection : session.model.connections) {
        session.out.line("connection " + std::to_string(connection.id) + " " + connection.medium + " " +
                         quoted(connection.name) + " " + connection.status + " display=" +
                         quoted(connection.display));
    }
    return Next::Go;
}

Next run_contacts(Session &session, const Input &)
{
    if (session.model.contacts.empty()) session.out.line("no contacts");
    for (const Contact &contact : session.model.contacts) {
        session.out.line("contact " + contact.medium + " connection " + std::to_string(contact.connection_id) + " " +
                         quoted(contact.name) + " display=" + quoted(contact.display) + " status=" +
                         quoted(contact.status) + " section=" + quoted(contact.section) + " group=" +
                         quoted(contact.group) + " note=" + quoted(contact.note));
    }
    return Next::Go;
}

// connect adds the connection when the messenger does not know it yet.
Next run_connect(Session &session, const Input &input)
{
    if (!count_between(session, input, 3, 3)) return Next::Go;
    connection_change(session, session.model.set_connection(input.words[1], input.words[2], "online", ""));
    return Next::Go;
}

Next run_disconnect(Session &session, const Input &input)
{
    if (!count_between(session, input, 3, 3)) return Next::Go;
    if (session.model.find_connection(input.words[1], input.words[2]) == nullptr) {
        session.error("no connection " + input.words[1] + " " + input.words[2]);
        return Next::Go;
    }
    connection_change(session, session.model.set_connection(input.words[1], input.words[2], "offline", ""));
    return Next::Go;
}

// --- Alerts, HTTP, preferences ----------------------------------------------------------

Next run_alerts(Session &session, const Input &)
{
    if (session.model.alerts.empty()) session.out.line("no alerts");
    for (const auto &entry : session.model.alerts) {
        const Alert &alert = entry.second;
        std::string line = "alert " + std::to_string(alert.number) + " type=" + quoted(alert.type) + " text=" +
                           quoted(alert.text);
        if (alert.has_link) line += " link=" + quoted(alert.link);
        session.out.line(line);
    }
    return Next::Go;
}

Next run_alert(Session &session, const Input &input)
{
    long number;
    if (!count_between(session, input, 3, 3) || !int_word(session, input, 2, number)) return Next::Go;
    if (input.words[1] == "click") {
        alert_click(session, (int32_t)number);
    } else if (input.words[1] == "close") {
        alert_close(session, (int32_t)number);
    } else {
        usage_error(session, input);
    }
    return Next::Go;
}

Next run_http(Session &session, const Input &input)
{
    const std::string what = input.words.size() > 1 ? input.words[1] : "";
    if (what == "list" && input.words.size() == 2) {
        if (session.model.requests.empty()) session.out.line("no requests waiting");
        for (const auto &entry : session.model.requests) {
            const Request &request = entry.second;
            std::string line = "request " + std::to_string(request.number) + " url=" + quoted(request.url);
            if (request.has_variable) line += " variable=" + quoted(request.variable);
            session.out.line(line);
        }
    } else if (what == "hold" && input.words.size() == 2) {
        session.hold_requests = true;
    } else if (what == "auto" && input.words.size() == 2) {
        session.hold_requests = false;
    } else if (what == "deliver" && input.words.size() == 3 && input.words[2] == "all") {
        std::vector<int32_t> numbers;
        for (const auto &entry : session.model.requests) numbers.push_back(entry.first);
        for (int32_t number : numbers) http_deliver(session, number);
    } else if (what == "deliver" && input.words.size() == 3) {
        long number;
        if (!int_word(session, input, 2, number)) return Next::Go;
        if (!http_deliver(session, (int32_t)number)) session.error("no request " + std::to_string(number) + " waiting");
    } else {
        usage_error(session, input);
    }
    return Next::Go;
}

Next run_prefs(Session &session, const Input &input)
{
    const std::string what = input.words.size() > 1 ? input.words[1] : "";
    if ((what == "show" || what == "hide") && input.words.size() <= 3) {
        prefs_show(session, what == "show" ? 1 : 0, input.words.size() == 3 ? input.words[2] : "Tobrisk");
    } else if (what == "action" && input.words.size() == 3) {
        long action;
        if (int_word(session, input, 2, action)) prefs_action(session, (int32_t)action);
    } else {
        usage_error(session, input);
    }
    return Next::Go;
}

Next run_option(Session &session, const Input &)
{
    session.error("option lines come before every other line of a scenario");
    return Next::Go;
}
