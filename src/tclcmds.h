// The Tcl commands that scripts call: `vellumar`, the door to the host's
// services, and `tobrisk`, facts about the plugin and the process.
#ifndef TOBRISK_TCLCMDS_H
#define TOBRISK_TCLCMDS_H

#include <stdint.h>

#include <tcl.h>

#include "host_services.h"

int TobriskTclVellumarCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int TobriskTclInfoCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
int TobriskTclRestrictCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// ::tobrisk::service_names: the options of `vellumar`, in order.
int TobriskTclServiceNamesCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// Handlers of `vellumar` options. Each receives the word count from the
// option word on and the words themselves, the option word first.
typedef int VellumarHandler(Tcl_Interp *interp, int count, Tcl_Obj *const words[]);

// Every handler the table of services names; the names without one share
// TobriskTclNoHandler, which answers that they are not yet implemented.
#define NoHandler TobriskTclNoHandler
#define TOBRISK_DECLARE_HANDLER(name, handler, record, hands) VellumarHandler handler;
TOBRISK_HOST_SERVICES(TOBRISK_DECLARE_HANDLER)
#undef TOBRISK_DECLARE_HANDLER

int TobriskTclNotImplemented(Tcl_Interp *interp, Tcl_Obj *const words[]);
int TobriskTclMessageBox(Tcl_Interp *interp, int count, Tcl_Obj *const words[]);

// The supervisor's commands in the main interpreter: ::tobrisk::_adopt,
// ::tobrisk::_holdings, ::tobrisk::_release, ::tobrisk::_export,
// ::tobrisk::_stats, ::tobrisk::_account and ::tobrisk::_replace.
void tclcmds_register_supervision(Tcl_Interp *interp);
// ::tobrisk::_standard_channels: stdin, stdout and stderr for an
// interpreter that has none.
void tclcmds_register_standard_channels(Tcl_Interp *interp);
int TobriskTclReplaceCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
// Ends a subscription, and removes an entry or section, as the handlers
// do; the host's answer.
int32_t tclcmds_events_disconnect(int32_t id);
int32_t tclcmds_list_remove(int32_t id, bool section);

// Sets the interpreter's result to an integer and returns TCL_OK.
int tclcmds_int_result(Tcl_Interp *interp, int value);

#endif
