// The host's side of the Windows calls that the host library takes from
// the plugin: message boxes, beeps, opened links, the process's end.
#include "ui.h"

#include "words.h"

namespace {

// The buttons of each message box type, in the order Windows shows them.
const std::vector<std::vector<int>> &box_buttons()
{
    static const std::vector<std::vector<int>> table = {
        {IDOK},                       // MB_OK
        {IDOK, IDCANCEL},             // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE}, // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},      // MB_YESNOCANCEL
        {IDYES, IDNO},                // MB_YESNO
        {IDRETRY, IDCANCEL},          // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
    };
    return table;
}

// What pressing Enter gives: the box's default button.
int default_button(uint32_t type)
{
    size_t kind = type & MB_TYPEMASK;
    if (kind >= box_buttons().size()) return IDOK;
    const std::vector<int> &buttons = box_buttons()[kind];
    size_t index = (type & MB_DEFMASK) >> 8;
    return buttons[index < buttons.size() ? index : 0];
}

std::string button_name(int button)
{
    switch (button) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return std::to_string(button);
    }
}

} // namespace

int answer_windows_call(Session &session, const messenger::UiCall &call)
{
    if (call.function == "MessageBoxA" || call.function == "MessageBoxW") {
        int button = default_button(call.type);
        if (!session.buttons.empty()) {
            button = session.buttons.front();
            session.buttons.erase(session.buttons.begin());
        }
        std::string caption = call.null_caption ? "(no caption)" : quoted(call.caption);
        std::string type = call.type != 0 ? " type " + std::to_string(call.type) : "";
        session.out.line("box " + caption + type + ": " + quoted(call.text) + " -> " + button_name(button));
        session.journal.add(Happened::Box, call.text, caption, button_name(button));
        return button;
    }
    if (call.function == "MessageBeep") {
        session.out.line("beep " + std::to_string(call.type));
    } else if (call.function == "ShellExecuteA" || call.function == "ShellExecuteW") {
        std::string verb = call.caption == "open" ? "" : " (verb " + quoted(call.caption) + ")";
        session.out.line("open " + quoted(call.text) + verb);
        session.journal.add(Happened::Opened, call.text);
    } else if (call.function == "TerminateProcess") {
        session.out.line("the plugin ends the process with exit code " + std::to_string(call.type));
    }
    return 0;
}
