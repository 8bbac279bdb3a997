#include "Memory.h"

#include <cstring>
#include <memory>

#include "BenchString.h"
#include "Bodies.h"
#include "DirectFetch.h"
#include "PrivateBytes.h"

namespace {

double PerBody(double bytes) { return bytes / static_cast<double>(LargeBodySize); }

double Over(std::size_t high, std::size_t low) {
    return PerBody(static_cast<double>(high) - static_cast<double>(low));
}

std::uint64_t Fingerprint(const char* text, std::size_t size) {
    std::uint64_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211ull;
    }
    return hash;
}

// The baseline's conversion: the same four calls as the library, the result
// written straight into the string that is handed on.
std::string BareUtf8ToAnsi(const char* utf8, PeakSampler& sampler) {
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::unique_ptr<wchar_t[]> wide(new wchar_t[wideLength]);
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.get(), wideLength);
    int ansiLength = WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, nullptr, 0, " ", nullptr);
    if (ansiLength <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(ansiLength), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, &ansi[0], ansiLength, " ", nullptr);
    sampler.Note(PrivateBytesNow());
    ansi.resize(std::strlen(ansi.c_str()));
    return ansi;
}

// Private bytes around one read export. The target's SetText notes them on
// entry, before the host copies, and ends the sampling there: what the
// library holds when it hands its text over.
struct ReadFigures {
    std::size_t Before = 0;   // just before the call
    std::size_t Peak = 0;     // highest from the call's start to SetText's entry
    std::size_t AtEntry = 0;  // at SetText's entry
    std::size_t After = 0;    // after the call, with the host's copy
};

// A download's threads wind down for a while after IsRun turned false (the
// pool thread, WinINet's own); the reads are measured after they settled.
constexpr DWORD SettleMs = 250;
constexpr DWORD QuietWindowMs = 50;

// The peak over a window in which nothing is called: the noise of the
// counter and of the process's other threads, for comparison.
double QuietWindow(PeakSampler& sampler) {
    sampler.Start();
    std::size_t before = PrivateBytesNow();
    Sleep(QuietWindowMs);
    return Over(sampler.Stop(), before);
}

bool MeasureRead(bool (*read)(HostString*), BenchString& target, PeakSampler& sampler,
                 ReadFigures& figures) {
    Sleep(SettleMs);
    target.beforeCopy = [&](const char*) {
        figures.AtEntry = PrivateBytesNow();
        sampler.Note(figures.AtEntry);
        figures.Peak = sampler.Stop();
    };
    target.sets = 0;
    sampler.Start();
    figures.Before = PrivateBytesNow();
    bool ok = read(&target);
    sampler.Stop();
    figures.After = PrivateBytesNow();
    target.beforeCopy = nullptr;
    return ok && target.sets == 1;
}

struct Series {
    std::vector<double> Idle, LibPeak, LibPeakOver, BasePeak, BasePeakOver;
    std::vector<double> Added, HostCopy, AfterRead, Quiet;
};

void LibraryRound(Bench& bench, PeakSampler& sampler, const BodySource& body,
                  ConversionMemory& conversion, std::vector<double> (&perText)[3], Series& series,
                  std::uint64_t& print, MemoryResult& result) {
    if (!bench.Dll.Reload()) return bench.Problem("memory: the DLL did not load");
    BenchString url(bench.Url(body.Name));
    std::size_t idle = PrivateBytesNow();
    sampler.Start();
    bool started = bench.Dll.Get(&url);
    while (started && bench.Dll.IsRun()) Sleep(1);
    std::size_t peak = sampler.Stop();
    result.Samples += sampler.samples();
    if (!started || bench.Dll.GetReadSize() != body.Size) {
        return bench.Problem(std::string("memory: library download of ") + body.Name + " failed");
    }
    series.Idle.push_back(static_cast<double>(idle));
    series.LibPeak.push_back(PerBody(static_cast<double>(peak)));
    series.LibPeakOver.push_back(Over(peak, idle));

    Sleep(SettleMs);
    series.Quiet.push_back(QuietWindow(sampler));
    BenchString target;
    ReadFigures read;
    if (!MeasureRead(bench.Dll.ReadString, target, sampler, read) ||
        !MatchesBody(body, target.text().data(), target.text().size())) {
        bench.Problem(std::string("memory: ReadString of ") + body.Name + " failed");
    }
    result.Samples += sampler.samples();
    series.Added.push_back(Over(read.Peak, read.Before));
    series.HostCopy.push_back(Over(read.After, read.AtEntry));
    series.AfterRead.push_back(Over(read.After, idle));
    target.Release();

    ReadFigures converted;
    if (!MeasureRead(bench.Dll.ReadStringUTF8ToSJIS, target, sampler, converted)) {
        bench.Problem(std::string("memory: ReadStringUTF8ToSJIS of ") + body.Name + " failed");
    }
    result.Samples += sampler.samples();
    perText[0].push_back(Over(converted.Peak, idle));
    perText[2].push_back(Over(converted.After, idle));
    conversion.ResultPerBody = PerBody(static_cast<double>(target.text().size()));
    print = Fingerprint(target.text().data(), target.text().size());
    target.Release();
    bench.Dll.Unload();
}

void BaselineRound(Bench& bench, PeakSampler& sampler, const BodySource& body,
                   std::vector<double> (&perText)[3], Series& series, std::uint64_t& print,
                   MemoryResult& result) {
    DirectFetch fetch;
    std::size_t idle = PrivateBytesNow();
    sampler.Start();
    bool started = fetch.Start(bench.Port, body.Name);
    while (started && !fetch.Done()) Sleep(1);
    std::size_t peak = sampler.Stop();
    result.Samples += sampler.samples();
    if (!started || !MatchesBody(body, fetch.body().data(), fetch.body().size())) {
        return bench.Problem(std::string("memory: baseline download of ") + body.Name + " failed");
    }
    series.BasePeak.push_back(PerBody(static_cast<double>(peak)));
    series.BasePeakOver.push_back(Over(peak, idle));

    sampler.Start();
    std::string converted = BareUtf8ToAnsi(fetch.body().c_str(), sampler);
    std::size_t convertedPeak = sampler.Stop();
    result.Samples += sampler.samples();
    perText[1].push_back(Over(convertedPeak, idle));
    print = Fingerprint(converted.data(), converted.size());
}

}  // namespace

MemoryResult MeasureMemory(Bench& bench) {
    MemoryResult result;
    result.Ascii.Text = "ascii";
    result.Japanese.Text = "japanese";
    Series series;
    std::vector<double> ascii[3], japanese[3];
    PeakSampler sampler;
    for (int round = 0; round < bench.Rounds; ++round) {
        for (ConversionMemory* conversion : {&result.Ascii, &result.Japanese}) {
            const BodySource& body = *FindBody(conversion->Text);
            auto& perText = conversion == &result.Ascii ? ascii : japanese;
            std::uint64_t libraryPrint = 0, baselinePrint = 1;
            Alternate(
                round,
                [&] { LibraryRound(bench, sampler, body, *conversion, perText, series, libraryPrint, result); },
                [&] { BaselineRound(bench, sampler, body, perText, series, baselinePrint, result); });
            if (libraryPrint != baselinePrint) conversion->SameResult = false;
        }
    }
    result.IdleMiB = Summarize(series.Idle).Median / (1024.0 * 1024.0);
    result.LibraryDownloadPeak = Summarize(series.LibPeak);
    result.LibraryDownloadPeakOverIdle = Summarize(series.LibPeakOver);
    result.BaselineDownloadPeak = Summarize(series.BasePeak);
    result.BaselineDownloadPeakOverIdle = Summarize(series.BasePeakOver);
    result.ReadStringAdded = Summarize(series.Added);
    result.ReadStringHostCopy = Summarize(series.HostCopy);
    result.ReadStringAfterOverIdle = Summarize(series.AfterRead);
    result.QuietWindow = Summarize(series.Quiet);
    for (ConversionMemory* conversion : {&result.Ascii, &result.Japanese}) {
        auto& perText = conversion == &result.Ascii ? ascii : japanese;
        conversion->LibraryPeakOverIdle = Summarize(perText[0]);
        conversion->BaselinePeakOverIdle = Summarize(perText[1]);
        conversion->LibraryAfterOverIdle = Summarize(perText[2]);
    }
    return result;
}
