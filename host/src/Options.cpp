#include "Options.h"

#include <stdexcept>

const char UsageText[] =
    "usage: quillbarrow-host [--post DATA] [--ansi] [--out FILE] [--quiet]\n"
    "                        [--dismiss-messages] [URL]\n"
    "  --post DATA         send DATA as a form POST instead of a GET\n"
    "  --ansi              convert the UTF-8 body to the ANSI code page\n"
    "  --out FILE          write the body to FILE instead of stdout\n"
    "  --quiet             print no progress\n"
    "  --dismiss-messages  print the library's message boxes to stderr and close them\n"
    "  URL                 what to fetch; without it a loopback demo server answers\n";

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    bool urlSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--post") {
            options.PostData = value();
        } else if (arg == "--out") {
            options.OutFile = value();
            if (options.OutFile.empty()) throw std::invalid_argument("--out needs a file name");
        } else if (arg == "--ansi") {
            options.Ansi = true;
        } else if (arg == "--quiet") {
            options.Quiet = true;
        } else if (arg == "--dismiss-messages") {
            options.DismissMessages = true;
        } else if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw std::invalid_argument("unknown option " + arg);
        } else if (urlSeen) {
            throw std::invalid_argument("more than one URL given");
        } else {
            options.Url = arg;
            urlSeen = true;
        }
    }
    if (urlSeen && options.Url.empty()) throw std::invalid_argument("the URL is empty");
    return options;
}
