// What the time accounting costs per supervised call: the same double-clicks
// and chat lines into a script's own interpreter, by the plugin as shipped
// and by the same sources built without the accounting
// (TOBRISK_WITHOUT_ACCOUNTING), each in a fresh process of this program,
// the two taking turns.
#include <cstdio>
#include <cstring>

#include "fast_host.h"
#include "measure.h"
#include "overhead.h"
#include "messenger/messenger.h"

namespace {

struct CallFigures {
    double click;
    double line;
};

// A process's figure is the quickest of its bursts: what the calls cost
// when nothing else took the processor. Short bursts, many of them, so
// that some run whole between two turns of the machine's other work.
const int Bursts = 25;
const long BurstShare = 10;   // of a round's count of events or lines

bool run_accounting_child(const Options &options, const std::string &folder, CallFigures &figures)
{
    std::string arguments = "--child=accounting \"--plugin=" + folder + "\"" + (options.quick ? " --quick" : "");
    messenger::ChildResult child = messenger::run_self(arguments, 120000);
    const char *line = std::strstr(child.output.c_str(), "ACCOUNTING ");
    if (child.exit_code != 0 || line == nullptr ||
        std::sscanf(line, "ACCOUNTING %lf %lf", &figures.click, &figures.line) != 2) {
        failure("the accounting's child on " + folder + ": exit code " + std::to_string(child.exit_code) +
                ", output: " + child.output);
        return false;
    }
    return true;
}

} // namespace

int accounting_child(const Options &options, const Counts &counts)
{
    messenger::drop_standard_handles();
    if (!messenger::load_plugin(options.folder, true, false)) return 1;
    use_init(options, MinimalInit);
    timed_load();
    if (!start_and_attach() || !start_supervisor(options)) {
        timed_stop();
        return 1;
    }
    eval_result("[::tobrisk::interp bench] eval {vellumar listAddEntry section_id 1 parent_id 1 callback clicked}");
    fast_host::Registered host = fast_host::registered();
    if (host.list == nullptr || host.alias == nullptr) return 1;
    CallFigures figures = { 1e9, 1e9 };
    bool answered = true;
    long clicks = counts.events / BurstShare + 1, lines = counts.alias_lines / BurstShare + 1;
    for (int burst = 0; burst < Bursts; burst++) {
        double click = microseconds_each(clicks, [&] { host.list(0, 0, "list_leftDoubleClick", nullptr, host.list_userData); });
        double line = chat_line(host, "/tobrisk ::chat_line", lines, answered);
        if (click < figures.click) figures.click = click;
        if (line < figures.line) figures.line = line;
    }
    std::printf("ACCOUNTING %.4f %.4f\n", figures.click, figures.line);
    std::fflush(stdout);
    timed_stop();
    return answered && failures() == 0 ? 0 : 1;
}

void measure_accounting(const Options &options, const Counts &counts, Table &table)
{
    if (options.unaccounted.empty()) return;
    table.section("The time accounting, with it and without, fresh processes taking turns (us per call)");
    Row &click_without = table.baseline("a double-click on a script's entry, without the accounting", "us");
    Row &click_with = table.row("the same, with the accounting", "us");
    Row &click_added = table.figure("added by the accounting per double-click (goal 0.3)", "us");
    click_added.goal_below(0.3);
    table.section("The same for a chat line into a script's exported command (us per line)");
    Row &line_without = table.baseline("\"/tobrisk ::chat_line\", without the accounting", "us");
    Row &line_with = table.row("the same, with the accounting", "us");
    Row &line_added = table.figure("added by the accounting per exported command (goal 0.3)", "us");
    line_added.goal_below(0.3);
    for (int round = 0; round < counts.rounds; round++) {
        CallFigures with, without;
        // Each round in the other order, so that neither always comes first.
        bool ok = round % 2 == 0 ? run_accounting_child(options, options.unaccounted, without) &&
                                       run_accounting_child(options, options.folder, with)
                                 : run_accounting_child(options, options.folder, with) &&
                                       run_accounting_child(options, options.unaccounted, without);
        if (!ok) return;
        click_without.add(without.click);
        click_with.add(with.click);
        click_added.add(with.click - without.click);
        line_without.add(without.line);
        line_with.add(with.line);
        line_added.add(with.line - without.line);
    }
}
