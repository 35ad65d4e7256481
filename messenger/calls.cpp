// The service function handed to the plugin: every call is copied with the
// texts, callback and userData its record carries, kept, and answered.
#include "internal.h"

#include <cstring>

namespace messenger {
namespace {

// The plugin's HostSend carries no context of its own, so the calls it
// records and the answers it gives are the process's: one host at a time.
std::vector<HostCall> g_calls;
std::map<std::string, Answer> g_answers;
Answer g_default_answer;
Tcl_Interp *g_interp = nullptr;

uint32_t read_word(const void *record, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, (const char *)record + offset, 4);
    return value;
}

void copy_record(HostCall &call, void *record)
{
    call.record = record;
    call.null_record = record == nullptr;
    if (record == nullptr) return;
    uint32_t size = read_word(record, 0);
    if (size > 65536) size = 4;
    call.bytes.assign((const uint8_t *)record, (const uint8_t *)record + size);
    const RecordShape *shape = record_shape(call.service);
    if (shape == nullptr) return;
    for (size_t offset : shape->texts) {
        if (offset + 4 > size) continue;
        const char *text = (const char *)(uintptr_t)read_word(record, offset);
        call.texts[offset] = text ? std::optional<std::string>(text) : std::nullopt;
    }
    if (shape->callback != NoField && (size_t)shape->callback + 4 <= size) {
        call.callback = (HostCallback)(uintptr_t)read_word(record, shape->callback);
    }
    if (shape->userData != NoField && (size_t)shape->userData + 4 <= size) {
        call.userData = (void *)(uintptr_t)read_word(record, shape->userData);
    }
    if (shape->binding && call.userData != nullptr) {
        const char *text = binding_text(call.userData);
        if (text != nullptr) call.binding_text = text;
    }
}

} // namespace

int32_t HostCall::int_at(size_t offset) const
{
    if (offset + 4 > bytes.size()) return 0;
    int32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

std::string HostCall::text_at(size_t offset) const
{
    auto found = texts.find(offset);
    if (found == texts.end() || !found->second) return "";
    return *found->second;
}

bool HostCall::has_text_at(size_t offset) const
{
    auto found = texts.find(offset);
    return found != texts.end() && found->second.has_value();
}

extern "C" int32_t __cdecl host_send(const char *guid, const char *service, void *record)
{
    HostCall call;
    call.guid = guid ? guid : "";
    call.service = service ? service : "";
    copy_record(call, record);
    g_calls.push_back(call);
    if (call.service == HostServiceNames[SERVICE_editAliasRegister] && call.userData != nullptr) {
        g_interp = (Tcl_Interp *)call.userData;
    }
    auto answer = g_answers.find(call.service);
    if (answer != g_answers.end()) return answer->second(call);
    if (g_default_answer) return g_default_answer(call);
    return 0;
}

void set_answer(const std::string &service, Answer answer) { g_answers[service] = std::move(answer); }
void set_answer(const std::string &service, int32_t value)
{
    g_answers[service] = [value](HostCall &) { return value; };
}
void set_default_answer(Answer answer) { g_default_answer = std::move(answer); }
void clear_answers()
{
    g_answers.clear();
    g_default_answer = nullptr;
}

const std::vector<HostCall> &calls() { return g_calls; }

std::vector<HostCall> calls_to(const std::string &service)
{
    std::vector<HostCall> found;
    for (const HostCall &call : g_calls) {
        if (call.service == service) found.push_back(call);
    }
    return found;
}

std::vector<std::string> services_called()
{
    std::vector<std::string> names;
    for (const HostCall &call : g_calls) names.push_back(call.service);
    return names;
}

void clear_calls() { g_calls.clear(); }

Tcl_Interp *interp() { return g_interp; }

} // namespace messenger
