// Loads a plugin folder as the messenger would, evaluates script lines in
// the plugin's interpreter and prints every exchange with the host.
#include <cstdio>
#include <string>
#include <vector>

#include "testhost/testhost.h"

static void print_new_calls(size_t &seen)
{
    const auto &calls = testhost::calls();
    for (; seen < calls.size(); seen++) std::printf("  host <- %s\n", calls[seen].service.c_str());
    for (const auto &box : testhost::message_boxes()) {
        std::printf("  message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    }
    testhost::clear_ui_calls();
}

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : "build\\dist\\Tobrisk";
    std::vector<std::string> lines = {"tobrisk version", "tobrisk patchlevel", "tobrisk build",
                                      "vellumar versionRequest", "info patchlevel",
                                      "package present Tk", "expr {6 * 7}", "exit"};
    for (int index = 2; index < argc; index++) {
        if (index == 2) lines.clear();
        lines.push_back(argv[index]);
    }
    static const char version[] = "Vellumar demo host 1.0";
    testhost::set_answer("versionRequest", [](testhost::HostCall &) { return (int32_t)(intptr_t)version; });
    testhost::set_answer("editAliasRegister", 1);
    if (!testhost::load_plugin(folder)) {
        std::printf("cannot load %s\\Tobrisk.dll\n", folder.c_str());
        return 1;
    }
    size_t seen = 0;
    std::printf("plugin_version() = %d\n", testhost::plugin_version());
    std::printf("load\n");
    LoadRecord record = testhost::load();
    std::printf("  plugin: %s %s by %s\n", record.name, record.version, record.maker);
    print_new_calls(seen);
    std::printf("start\n");
    testhost::start();
    print_new_calls(seen);
    for (const std::string &line : lines) {
        testhost::EvalResult result = testhost::eval(line);
        std::printf("%% %s\n%s%s\n", line.c_str(), result.code == 0 ? "" : "error: ", result.result.c_str());
        print_new_calls(seen);
    }
    std::printf("stop\n");
    testhost::stop();
    print_new_calls(seen);
    std::printf("unload\n");
    testhost::unload();
    print_new_calls(seen);
    return 0;
}
