#include "report.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>

#include "measure.h"

void Table::section(const std::string &title)
{
    lines_.push_back({title, nullptr});
    baseline_ = nullptr;
}

Row &Table::figure(const std::string &name, const std::string &unit)
{
    rows_.push_back(Row());
    Row &added = rows_.back();
    added.name = name;
    added.unit = unit;
    lines_.push_back({"", &added});
    return added;
}

Row &Table::baseline(const std::string &name, const std::string &unit)
{
    Row &added = figure(name, unit);
    baseline_ = &added;
    return added;
}

Row &Table::row(const std::string &name, const std::string &unit)
{
    Row &added = figure(name, unit);
    added.baseline = baseline_;
    return added;
}

namespace {

const char *const RowFormat = "  %-52s %-4s %10s %10s %10s %7s  %s\n";

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.1f" : "%.3f", value);
    return text;
}

std::string goal_of(const Row &row, double median, double max, double ratio)
{
    char text[64] = "";
    if (row.max_below > 0) {
        std::snprintf(text, sizeof text, "max < %g %s: %s", row.max_below, row.unit.c_str(),
                      max < row.max_below ? "met" : "MISSED");
    } else if (row.max_ratio > 0 && ratio > 0) {
        std::snprintf(text, sizeof text, "ratio <= %.2f: %s", row.max_ratio, ratio <= row.max_ratio ? "met" : "MISSED");
    } else if (row.below > 0) {
        std::snprintf(text, sizeof text, "< %g %s: %s", row.below, row.unit.c_str(),
                      median < row.below ? "met" : "MISSED");
    }
    return text;
}

void print_row(const Row &row)
{
    if (row.samples.empty()) {
        std::printf(RowFormat, row.name.c_str(), row.unit.c_str(), "-", "-", "-", "", "not measured");
        return;
    }
    Spread spread = spread_of(row.samples);
    double ratio = 0;
    if (row.baseline != nullptr && !row.baseline->samples.empty()) {
        double base = spread_of(row.baseline->samples).median;
        if (base > 0) ratio = spread.median / base;
    }
    std::string ratio_text = ratio > 0 ? number(ratio) : "";
    std::printf(RowFormat, row.name.c_str(), row.unit.c_str(), number(spread.median).c_str(),
                number(spread.min).c_str(), number(spread.max).c_str(), ratio_text.c_str(),
                goal_of(row, spread.median, spread.max, ratio).c_str());
}

} // namespace

void Table::print() const
{
    std::printf("\n");
    std::printf(RowFormat, "", "unit", "median", "min", "max", "ratio", "goal");
    for (const Line &line : lines_) {
        if (line.row == nullptr) {
            std::printf("%s\n", line.title.c_str());
        } else {
            print_row(*line.row);
        }
    }
    std::printf("ratio: the row's median over the median of its section's first row\n");
    std::fflush(stdout);
}

namespace {

std::string cpu_brand()
{
    unsigned int words[12] = {};
    unsigned int highest = __get_cpuid_max(0x80000000, nullptr);
    if (highest < 0x80000004) return "unknown processor";
    for (unsigned int leaf = 0; leaf < 3; leaf++) {
        __get_cpuid(0x80000002 + leaf, &words[leaf * 4], &words[leaf * 4 + 1], &words[leaf * 4 + 2],
                    &words[leaf * 4 + 3]);
    }
    std::string brand((const char *)words, sizeof words);
    brand.resize(std::strlen(brand.c_str()));
    size_t first = brand.find_first_not_of(' ');
    return first == std::string::npos ? brand : brand.substr(first);
}

std::string wine_description()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto version = (const char *(*)(void))(void *)GetProcAddress(ntdll, "wine_get_version");
    auto host = (void (*)(const char **, const char **))(void *)GetProcAddress(ntdll, "wine_get_host_version");
    if (version == nullptr) return "Windows";
    std::string text = std::string("Wine ") + version();
    if (host != nullptr) {
        const char *system = nullptr, *release = nullptr;
        host(&system, &release);
        if (system != nullptr && release != nullptr) text += std::string(" on ") + system + " " + release;
    }
    return text;
}

} // namespace

void print_machine(int rounds)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    std::printf("Tobrisk overhead benchmark\n");
    std::printf("machine: %s, %lu logical processors; %s\n", cpu_brand().c_str(),
                (unsigned long)system.dwNumberOfProcessors, wine_description().c_str());
    std::printf("rounds: %d\n", rounds);
    std::fflush(stdout);
}

void print_imports(HMODULE module)
{
    auto base = (const BYTE *)module;
    auto nt = (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::printf("\nImports of Tobrisk.dll\n");
    if (directory.VirtualAddress == 0) return;
    for (auto import = (const IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress); import->Name != 0;
         import++) {
        auto names = (const IMAGE_THUNK_DATA *)(base + import->OriginalFirstThunk);
        std::string list;
        int count = 0;
        for (; names->u1.AddressOfData != 0; names++, count++) {
            if (!list.empty()) list += " ";
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                list += "#" + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal));
            } else {
                list += (const char *)((const IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name;
            }
        }
        std::printf("  %s (%d): %s\n", (const char *)(base + import->Name), count, list.c_str());
    }
    std::fflush(stdout);
}
