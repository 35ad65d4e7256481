// The benchmark's table: rows of repeated samples, grouped in sections,
// each row compared with its baseline row and held to its goal.
#ifndef TOBRISK_BENCH_REPORT_H
#define TOBRISK_BENCH_REPORT_H

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

struct Row {
    std::string name;
    std::string unit;
    const Row *baseline = nullptr;
    std::vector<double> samples;
    double max_ratio = 0;   // 0: no goal on the ratio
    double below = 0;       // 0: no goal on the median
    double max_below = 0;   // 0: no goal on the largest sample

    void add(double sample) { samples.push_back(sample); }
    void goal_ratio(double ratio) { max_ratio = ratio; }
    void goal_below(double value) { below = value; }
    void goal_max_below(double value) { max_below = value; }
};

// Rows stay where they are for as long as the table.
class Table {
public:
    void section(const std::string &title);
    // The row that the section's later rows are compared with.
    Row &baseline(const std::string &name, const std::string &unit);
    // A row compared with its section's baseline.
    Row &row(const std::string &name, const std::string &unit);
    // A row compared with nothing.
    Row &figure(const std::string &name, const std::string &unit);
    void print() const;

private:
    struct Line {
        std::string title;   // a section's title, or empty for a row
        Row *row;
    };
    std::deque<Row> rows_;
    std::vector<Line> lines_;
    const Row *baseline_ = nullptr;
};

// What the figures were taken on.
void print_machine(int rounds);
// The DLLs and functions that a module imports.
void print_imports(HMODULE module);

#endif
