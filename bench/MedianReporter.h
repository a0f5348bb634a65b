#pragma once
// Console output as usual, plus each benchmark's median kept by name
// ("BM_Name/args") so a bench can print its ratios after the run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;
    MedianReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};
