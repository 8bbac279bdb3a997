#include "Report.h"

#include <cstdio>

namespace {

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Verdict(bool holds) { return holds ? "yes" : "**no**"; }

}  // namespace

std::string Spread(const Summary& s, double scale, int decimals) {
    if (s.Count == 0) return "n/a";
    return Number(s.Median * scale, decimals) + " (" + Number(s.Min * scale, decimals) + "-" +
           Number(s.Max * scale, decimals) + ")";
}

void Report::Row(const std::string& figure, const std::string& library, const std::string& baseline,
                 const std::string& relative, const std::string& target, const std::string& holds) {
    std::printf("| %s | %s | %s | %s | %s | %s |\n", figure.c_str(), library.c_str(),
                baseline.c_str(), relative.c_str(), target.c_str(), holds.c_str());
    std::fflush(stdout);
}

void Report::Header() {
    std::printf("| Figure | Quillbarrow.dll | Baseline | Quillbarrow / baseline | Target | Holds |\n");
    std::printf("|---|---|---|---|---|---|\n");
    std::fflush(stdout);
}

void Report::Throughput(const ThroughputResult& r) {
    const Comparison& c = r.Seconds;
    Row("64 MiB, Get to IsRun false, Sleep(1) polls: s", Spread(c.Library, 1, 3),
        Spread(c.Baseline, 1, 3), Spread(c.Ratio, 1, 3), "ratio <= 1.03 (median)",
        Verdict(c.Ratio.Count > 0 && c.Ratio.Median <= 1.03));
    Summary libRate{64 / c.Library.Median, 64 / c.Library.Max, 64 / c.Library.Min, c.Library.Count};
    Summary baseRate{64 / c.Baseline.Median, 64 / c.Baseline.Max, 64 / c.Baseline.Min, c.Baseline.Count};
    Row("64 MiB: MiB/s", Spread(libRate, 1, 1), Spread(baseRate, 1, 1), "", "", "");
    Row("64 MiB: CPU time of the process, s", Spread(r.CpuSeconds.Library, 1, 3),
        Spread(r.CpuSeconds.Baseline, 1, 3), Spread(r.CpuSeconds.Ratio, 1, 3), "", "");
    Row("GetReadSize while 64 MiB arrive: median call per round, us", Spread(r.Library.MedianUs(), 1, 2),
        Spread(r.Baseline.MedianUs(), 1, 2), "", "", "");
    Row("GetReadSize: longest call per round, us", Spread(r.Library.LongestUs(), 1, 0),
        Spread(r.Baseline.LongestUs(), 1, 0), "", "< 1000 us (every call)",
        Verdict(r.Library.Calls() > 0 && r.Library.LongestOverallUs() < 1000));
    Row("GetReadSize: calls over 1 ms / calls",
        std::to_string(r.Library.CallsOverMs()) + " / " + std::to_string(r.Library.Calls()),
        std::to_string(r.Baseline.CallsOverMs()) + " / " + std::to_string(r.Baseline.Calls()), "", "", "");
}

void Report::PerTransfer(const Comparison& c, Poll poll) {
    Row(std::string("1 KiB x 1000, ") + (poll == Poll::Yield ? "Sleep(0)" : "Sleep(1)") +
            " polls: ms per transfer",
        Spread(c.Library, 1e3, 3), Spread(c.Baseline, 1e3, 3), Spread(c.Ratio, 1, 3),
        "ratio <= 1.03 (median)", Verdict(c.Ratio.Count > 0 && c.Ratio.Median <= 1.03));
}

void Report::Memory(const MemoryResult& r) {
    Row("Idle private bytes before a transfer, MiB", Number(r.IdleMiB, 1), "", "", "", "");
    Row("Download 64 MiB: peak private bytes / body", Spread(r.LibraryDownloadPeak, 1, 3),
        Spread(r.BaselineDownloadPeak, 1, 3), "", "< 2.1",
        Verdict(r.LibraryDownloadPeak.Count > 0 && r.LibraryDownloadPeak.Max < 2.1));
    Row("Download 64 MiB: peak over idle / body", Spread(r.LibraryDownloadPeakOverIdle, 1, 3),
        Spread(r.BaselineDownloadPeakOverIdle, 1, 3), "", "", "");
    Row("ReadString: library's addition up to SetText / body", Spread(r.ReadStringAdded, 1, 4), "", "",
        "<= 0.01", Verdict(r.ReadStringAdded.Count > 0 && r.ReadStringAdded.Max <= 0.01));
    Row("Noise: growth over 50 ms with no call / body", Spread(r.QuietWindow, 1, 4), "", "", "", "");
    Row("ReadString: host's copy in SetText / body", Spread(r.ReadStringHostCopy, 1, 3), "", "", "", "");
    Row("After ReadString: over idle / body (Body + host's copy)", Spread(r.ReadStringAfterOverIdle, 1, 3),
        "", "", "", "");
    for (const ConversionMemory* c : {&r.Ascii, &r.Japanese}) {
        std::string text = std::string("ReadStringUTF8ToSJIS, ") + c->Text + " text: peak over idle / body";
        Row(text, Spread(c->LibraryPeakOverIdle, 1, 3), Spread(c->BaselinePeakOverIdle, 1, 3), "",
            "<= 4.1", Verdict(c->LibraryPeakOverIdle.Count > 0 && c->LibraryPeakOverIdle.Max <= 4.1));
        Row(std::string("After ReadStringUTF8ToSJIS, ") + c->Text + ": over idle / body",
            Spread(c->LibraryAfterOverIdle, 1, 3), "", "",
            "result " + Number(c->ResultPerBody, 3) + " x body, " +
                (c->SameResult ? "same bytes as baseline" : "**differs from baseline**"),
            "");
    }
}

void Report::Dll(const DllFacts& facts) {
    std::string sections;
    for (const Section& s : facts.Sections) {
        if (!sections.empty()) sections += ", ";
        sections += s.Name + " " + std::to_string(s.RawBytes);
    }
    Row("Quillbarrow.dll size, bytes (stripped)", std::to_string(facts.FileBytes), "", "", sections, "");
}
