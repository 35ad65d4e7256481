// The `tobrisk` command: facts about the plugin and the process, and a
// message box for scripts. It never calls the host.
#include "../tclcmds.h"
#include "../text.h"
#include "../tobrisk.h"

static const char *const InfoOptionNames[] = {
    "build",                    //  0
    "messagebox",               //  1
    "patchlevel",               //  2
    "version",                  //  3
    "processid",                //  4
    "threadid",                 //  5
    "windows",                  //  6
    "threadwindows",            //  7
    "config_directory",         //  8
    "skin_directory",           //  9
    "temp_directory",           // 10
    "global_config_directory",  // 11
    "vellumar_directory",       // 12
    "language_directory",       // 13
    NULL
};
enum InfoOption {
    INFO_BUILD, INFO_MESSAGEBOX, INFO_PATCHLEVEL, INFO_VERSION, INFO_PROCESSID, INFO_THREADID,
    INFO_WINDOWS, INFO_THREADWINDOWS, INFO_CONFIG_DIRECTORY, INFO_SKIN_DIRECTORY,
    INFO_TEMP_DIRECTORY, INFO_GLOBAL_CONFIG_DIRECTORY, INFO_VELLUMAR_DIRECTORY,
    INFO_LANGUAGE_DIRECTORY
};
static_assert(sizeof InfoOptionNames / sizeof InfoOptionNames[0] == INFO_LANGUAGE_DIRECTORY + 2,
              "one name per option and NULL");

static const int VersionMajor = TOBRISK_VERSION_MAJOR;
static const int VersionMinor = TOBRISK_VERSION_MINOR;

static int g_info_index = 0;

// A window's class name or title, at most 1023 characters; a window that
// vanished mid-enumeration leaves it empty. A cut through a pair drops the
// lone first half.
static Tcl_Obj *window_text(HWND window, bool class_name)
{
    WCHAR buffer[TOBRISK_TEXT_MAX];
    int length = class_name ? GetClassNameW(window, buffer, TOBRISK_TEXT_MAX)
                            : GetWindowTextW(window, buffer, TOBRISK_TEXT_MAX);
    if (length <= 0 || length >= TOBRISK_TEXT_MAX) length = 0;
    if (length == TOBRISK_TEXT_MAX - 1 && buffer[length - 1] >= 0xD800 && buffer[length - 1] <= 0xDBFF) {
        length--;
    }
    return text_from_wide(buffer, length);
}

// Appends {handle class title} for one window to the interpreter's result,
// which Tcl emptied before the command ran.
static BOOL CALLBACK TobriskTclWindowsCallback(HWND window, LPARAM lparam)
{
    Tcl_Interp *interp = (Tcl_Interp *)lparam;
    Tcl_Obj *entry = Tcl_NewObj();
    Tcl_ListObjAppendElement(NULL, entry, Tcl_NewLongObj((long)(intptr_t)window));
    Tcl_ListObjAppendElement(NULL, entry, window_text(window, true));
    Tcl_ListObjAppendElement(NULL, entry, window_text(window, false));
    Tcl_ListObjAppendElement(NULL, Tcl_GetObjResult(interp), entry);
    return TRUE;
}

// tobrisk messagebox text ?caption? ?type?
int TobriskTclMessageBox(Tcl_Interp *interp, int count, Tcl_Obj *const words[])
{
    if (count < 2 || count > 4) {
        Tcl_WrongNumArgs(interp, 1, words, "text ?caption? ?type?");
        return TCL_ERROR;
    }
    const char *text = Tcl_GetString(words[1]);
    const char *caption = count >= 3 ? Tcl_GetString(words[2]) : NULL;
    int type = 0;
    // A type that is not an integer leaves 0; its message is replaced below.
    if (count == 4 && Tcl_GetIntFromObj(interp, words[3], &type) != TCL_OK) type = 0;
    int button = tobrisk_message_box(text, caption, (UINT)type);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(button));
    return TCL_OK;
}

// The host is an ANSI program: its directories are texts in the ANSI code
// page, handed to scripts as the letters they name.
static int directory_result(Tcl_Interp *interp, PluginPath which)
{
    Tcl_SetObjResult(interp, text_from_ansi(plugin_path(which)));
    return TCL_OK;
}

// Appends the string form of an integer to an unshared object.
static void append_int(Tcl_Obj *object, int value)
{
    // Ref-count 0 when made; Tcl_AppendObjToObj only copies its string, so
    // the number is freed here.
    Tcl_Obj *number = Tcl_NewIntObj(value);
    Tcl_IncrRefCount(number);
    Tcl_AppendObjToObj(object, number);
    Tcl_DecrRefCount(number);
}

static int version_result(Tcl_Interp *interp)
{
    Tcl_ResetResult(interp);
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    append_int(result, VersionMajor);
    Tcl_AppendToObj(result, ".", 1);
    append_int(result, VersionMinor);
    return TCL_OK;
}

int TobriskTclInfoCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], InfoOptionNames, "option", 0, &g_info_index) != TCL_OK) {
        return TCL_ERROR;
    }
    switch ((InfoOption)g_info_index) {
    case INFO_BUILD:
        // tobrisk build
        Tcl_AppendResult(interp, TOBRISK_BUILD, NULL);
        return TCL_OK;
    case INFO_MESSAGEBOX:
        // tobrisk messagebox text ?caption? ?type?
        return TobriskTclMessageBox(interp, objc - 1, objv + 1);
    case INFO_PATCHLEVEL:
        // tobrisk patchlevel
        Tcl_AppendResult(interp, TOBRISK_VERSION, NULL);
        return TCL_OK;
    case INFO_VERSION:
        // tobrisk version
        return version_result(interp);
    case INFO_PROCESSID:
        // tobrisk processid
        Tcl_SetObjResult(interp, Tcl_NewLongObj((long)GetCurrentProcessId()));
        return TCL_OK;
    case INFO_THREADID:
        // tobrisk threadid
        Tcl_SetObjResult(interp, Tcl_NewLongObj((long)GetCurrentThreadId()));
        return TCL_OK;
    case INFO_WINDOWS:
        // tobrisk windows
        EnumWindows(TobriskTclWindowsCallback, (LPARAM)interp);
        return TCL_OK;
    case INFO_THREADWINDOWS:
        // tobrisk threadwindows
        EnumThreadWindows(GetCurrentThreadId(), TobriskTclWindowsCallback, (LPARAM)interp);
        return TCL_OK;
    case INFO_CONFIG_DIRECTORY:         return directory_result(interp, PATH_CONFIG);
    case INFO_SKIN_DIRECTORY:           return directory_result(interp, PATH_SKIN);
    case INFO_TEMP_DIRECTORY:           return directory_result(interp, PATH_TEMP);
    case INFO_GLOBAL_CONFIG_DIRECTORY:  return directory_result(interp, PATH_GLOBAL_CONFIG);
    case INFO_VELLUMAR_DIRECTORY:       return directory_result(interp, PATH_VELLUMAR);
    case INFO_LANGUAGE_DIRECTORY:       return directory_result(interp, PATH_LANGUAGE);
    }
    return TCL_OK;
}
