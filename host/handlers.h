// What each command of tobrisk-host does; the table in commands.cpp names
// them. The table's own `help` and the checks' `expect` live beside the
// table and the checks.
#ifndef TOBRISK_HOST_HANDLERS_H
#define TOBRISK_HOST_HANDLERS_H

#include "input.h"
#include "session.h"

Next run_quit(Session &, const Input &);
Next run_plugin(Session &, const Input &);
Next run_load(Session &, const Input &);
Next run_start(Session &, const Input &);
Next run_stop(Session &, const Input &);
Next run_unload(Session &, const Input &);
Next run_reload(Session &, const Input &);
Next run_tcl(Session &, const Input &);
Next run_say(Session &, const Input &);
Next run_wait(Session &, const Input &);
Next run_timeout(Session &, const Input &);
Next run_button(Session &, const Input &);
Next run_list(Session &, const Input &);
Next run_click(Session &, const Input &);
Next run_model_line(Session &, const Input &);
Next run_fixture(Session &, const Input &);
Next run_connections(Session &, const Input &);
Next run_contacts(Session &, const Input &);
Next run_connect(Session &, const Input &);
Next run_disconnect(Session &, const Input &);
Next run_alerts(Session &, const Input &);
Next run_alert(Session &, const Input &);
Next run_http(Session &, const Input &);
Next run_prefs(Session &, const Input &);
Next run_option(Session &, const Input &);

#endif
