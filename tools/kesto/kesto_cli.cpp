// kesto: print, cut, open the drawer, watch status and list printers from a
// shell, through the library's exported C API only (as a host would).
#include <iconv.h>
#include <kesto/kesto.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "stop_signals.h"

namespace {

const char* const kUsage =
    "usage: kesto [PRINTER] COMMAND [ARGS]\n"
    "\n"
    "PRINTER (one of):\n"
    "  --tcp HOST:PORT     a network printer (default 127.0.0.1:9100)\n"
    "  --usb MODEL         a USB printer of that model (VANTO500, TORQA20 ...)\n"
    "  --device XML        a device description as `kesto list` prints it\n"
    "\n"
    "COMMANDS:\n"
    "  list                the attached USB printers, one description per line\n"
    "  print [--wait] [--code-tables N,N...] [--multibyte SYSTEM] [--raw] [TEXT...]\n"
    "                      print the text (or standard input) in the locale's characters, a line each;\n"
    "                      --wait: wait until the printer confirms it printed (exit 2 if not)\n"
    "  receipt 1|2|3|4     print a sample receipt\n"
    "  barcode TYPE DATA   print a barcode: upca upce ean8 ean13 itf codabar code39 code93\n"
    "                      code128 qr pdf417, or the numeric type code\n"
    "  image FILE          print an image file (converted by the conversion script)\n"
    "  cut [--feed]        cut the paper (--feed: feed to the cutter first)\n"
    "  drawer A|B [--on MS] [--off MS]   open a cash drawer (pulse times in ms)\n"
    "  status [--watch [SECONDS]]        the printer status and its whole state, in words\n"
    "  version             the library version\n"
    "\n"
    "`kesto COMMAND --help` shows the help of one command.\n";

struct Command {
    const char* help;
    int (*run)(const std::vector<std::string>& args);
};

std::string g_description = "<device><type>ETH</type><path>127.0.0.1:9100</path></device>";

int Fail(const std::string& reason) {
    std::fprintf(stderr, "kesto: %s\n", reason.c_str());
    return 1;
}

const char* StatusWords(int code) {
    switch (code) {
        case KESTO_STATUS_NOTHING:
            return "nothing to report";
        case KESTO_STATUS_DRAWER_PIN_LOW:
            return "drawer pin 3 low";
        case KESTO_STATUS_DRAWER_PIN_HIGH:
            return "drawer pin 3 high";
        case KESTO_STATUS_COVER_OPEN:
            return "cover open";
        case KESTO_STATUS_COVER_CLOSED:
            return "cover closed";
        case KESTO_STATUS_PAPER_END:
            return "paper end";
        case KESTO_STATUS_PAPER_END_CLEARED:
            return "paper end cleared";
        case KESTO_STATUS_PAPER_NEAR_END:
            return "paper near end";
        case KESTO_STATUS_PAPER_NEAR_END_CLEARED:
            return "paper near end cleared";
        default:
            return "unknown status";
    }
}

// One open printer for the length of a command.
class Device {
public:
    Device() : handle(KESTO_CreateDevicePointer(&g_description[0], static_cast<int>(g_description.size()))) {}
    ~Device() {
        if (handle != nullptr) KESTO_DestroyDevicePointer(handle);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void* get() const { return handle; }

private:
    void* handle;
};

// The reason a command failed, from the handle's last error number.
std::string Unreachable(void* h) {
    const int error = h != nullptr ? KESTO_GetLastError(h) : 0;
    std::string reason = "printer not reachable";
    if (error > 0) reason += " (error " + std::to_string(error) + ": " + std::strerror(error) + ")";
    return reason;
}

// Opens the connection now, so that a command fails before sending anything.
bool Reachable(void* h) {
    return KESTO_GetLastError(h) == 0;
}

// A whole decimal number from lo to hi; false for anything else ("", "12x", "-").
bool ParseNumber(const std::string& text, long lo, long hi, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed < lo || parsed > hi) return false;
    *value = parsed;
    return true;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

int WithDevice(int (*body)(void*, const std::vector<std::string>&), const std::vector<std::string>& args) {
    Device device;
    if (device.get() == nullptr) return Fail("not a USB or ETH device description: " + g_description);
    return body(device.get(), args);
}

int RunList(const std::vector<std::string>&) {
    void* detector = KESTO_CreateHardwareDetector(nullptr);
    if (detector == nullptr) return Fail("cannot start the hardware detector");
    const int size = KESTO_GetHardwareXML(detector, nullptr, 0);
    std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    const int got = size > 0 ? KESTO_GetHardwareXML(detector, &text[0], text.size()) : -1;
    KESTO_DestroyHardwareDetector(detector);
    if (got < 0) return Fail("the printer list changed while it was read; try again");
    text.resize(std::strlen(text.c_str()));
    // One <device> element per line; the empty list prints nothing but a note on stderr.
    size_t count = 0;
    for (size_t at = text.find("<device>"); at != std::string::npos; at = text.find("<device>", at + 1)) {
        const size_t end = text.find("</device>", at);
        if (end == std::string::npos) break;
        std::cout << text.substr(at, end + 9 - at) << "\n";
        ++count;
    }
    if (count == 0) std::cerr << "no printer of the family attached\n";
    return 0;
}

// The printer's whole state in words: "cover open, paper end".
std::string StateWords(int state) {
    static const std::pair<int, const char*> kWords[] = {
        {KESTO_STATE_OFFLINE, "off-line"},
        {KESTO_STATE_COVER_OPEN, "cover open"},
        {KESTO_STATE_PAPER_END, "paper end"},
        {KESTO_STATE_PAPER_NEAR_END, "paper near end"},
        {KESTO_STATE_FEED_BUTTON, "feed button pressed"},
        {KESTO_STATE_DRAWER_PIN_HIGH, "drawer pin 3 high"},
        {KESTO_STATE_WAITING_RECOVERY, "waiting for on-line recovery"},
        {KESTO_STATE_CUTTER_ERROR, "auto-cutter error"},
        {KESTO_STATE_UNRECOVERABLE_ERROR, "unrecoverable error"},
        {KESTO_STATE_AUTO_RECOVERABLE_ERROR, "automatically recoverable error"},
    };
    std::string words;
    for (const auto& [bit, word] : kWords)
        if (state & bit) words += (words.empty() ? "" : ", ") + std::string(word);
    return words.empty() ? "on-line, nothing to report" : words;
}

// How long `print --wait` waits for the printer's confirmation.
constexpr int kPrintedWaitMs = 10000;

// What `print` was asked for: the lines, the printer's code tables, the road.
struct PrintRequest {
    std::vector<std::string> lines;
    std::vector<int> tables;  // empty: the library's default list
    bool raw = false;
    bool wait = false;  // for the printer's confirmation
};
PrintRequest g_print;

// The library's default list (kesto.h), for --multibyte without --code-tables.
const std::vector<int> kDefaultTables = {0, 1, 2, 3, 4, 5, 14, 16, 17, 18, 19, 33, 34, 45, 46, 47, 51};

// The locale's text as UTF-8; a locale without a character set of its own
// (C, POSIX: ASCII) passes its bytes on as UTF-8. Empty with ok false when
// the text is not in the locale's character set.
std::string LocaleToUtf8(const std::string& text, bool* ok) {
    *ok = true;
    const std::string codeset = nl_langinfo(CODESET);
    if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968") return text;
    iconv_t cd = iconv_open("UTF-8", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;  // NOLINT(performance-no-int-to-ptr)
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    *ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return *ok ? out : std::string();
}

int PrintLines(void* h, const std::vector<std::string>&) {
    if (!g_print.raw && !g_print.tables.empty() &&
        KESTO_SetCodeTables(h, g_print.tables.data(), static_cast<int>(g_print.tables.size())) != 1)
        return Fail("the code tables were refused");
    for (const std::string& line : g_print.lines) {
        if (g_print.raw) {
            const int written = KESTO_PrintText(h, line.c_str(), static_cast<int>(line.size()), false);
            if (written != static_cast<int>(line.size()) + 8) return Fail(Unreachable(h));
            continue;
        }
        bool ok = false;
        const std::string text = LocaleToUtf8(line, &ok) + "\n";
        if (!ok) return Fail("text not in the locale's character set: " + line);
        if (KESTO_PrintTextUtf8(h, text.data(), static_cast<int>(text.size())) < 0)
            return Fail(Unreachable(h));
    }
    if (!g_print.wait) return 0;
    const int printed = KESTO_WaitPrinted(h, kPrintedWaitMs);
    if (printed == 1) return std::printf("printed\n"), 0;
    if (printed < 0) return Fail(Unreachable(h));
    const int state = KESTO_GetPrinterState(h);
    std::printf("not printed within %d s: %s\n", kPrintedWaitMs / 1000,
                state >= 0 ? StateWords(state).c_str() : "the printer does not answer");
    return 2;
}

// "0,19,17" to its numbers; false for anything else.
bool ParseTables(const std::string& text, std::vector<int>* tables) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        long value = 0;
        if (!ParseNumber(text.substr(at, comma - at), 0, 255, &value)) return false;
        tables->push_back(static_cast<int>(value));
        at = comma + 1;
    }
    return true;
}

int RunPrint(const std::vector<std::string>& args) {
    static const std::map<std::string, int> systems = {{"gb18030", KESTO_CODES_GB18030},
                                                       {"shift-jis", KESTO_CODES_SHIFT_JIS},
                                                       {"big5", KESTO_CODES_BIG5},
                                                       {"ksc5601", KESTO_CODES_KSC5601}};
    std::vector<int> tables, multibyte;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--raw") {
            g_print.raw = true;
        } else if (a == "--wait") {
            g_print.wait = true;
        } else if (a == "--code-tables" || a == "--multibyte") {
            if (i + 1 >= args.size()) return Fail(a + " needs a value");
            const std::string& value = args[++i];
            const auto system = systems.find(value);
            if (a == "--code-tables" && !ParseTables(value, &tables))
                return Fail("--code-tables needs numbers like 0,19,17: " + value);
            if (a == "--multibyte" && system == systems.end())
                return Fail("--multibyte needs gb18030, shift-jis, big5 or ksc5601: " + value);
            if (a == "--multibyte") multibyte.push_back(system->second);
        } else if (a == "--") {
            ++i;
            break;
        } else {
            break;
        }
    }
    if (!multibyte.empty() && tables.empty()) tables = kDefaultTables;
    tables.insert(tables.end(), multibyte.begin(), multibyte.end());
    g_print.tables = tables;
    g_print.lines.assign(args.begin() + static_cast<long>(i), args.end());
    if (g_print.lines.empty()) {
        for (std::string line; std::getline(std::cin, line);) g_print.lines.push_back(line);
    }
    return WithDevice(PrintLines, args);
}

int RunReceipt(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() != 1 || args[0][0] < '1' || args[0][0] > '4')
        return Fail("receipt needs a number from 1 to 4");
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            int (*const receipts[])(void*) = {KESTO_PrintSampleReceipt1, KESTO_PrintSampleReceipt2,
                                              KESTO_PrintSampleReceipt3, KESTO_PrintSampleReceipt4};
            if (!Reachable(h)) return Fail(Unreachable(h));
            const int result = receipts[a[0][0] - '1'](h);
            if (result != 0 || !Reachable(h))
                return Fail("receipt not printed completely: " + Unreachable(h));
            return 0;
        },
        args);
}

// The type code of a barcode name or of a known numeric code; -1 otherwise (the
// library would send nothing for an unknown code and still report success).
int BarcodeType(const std::string& name) {
    static const std::map<std::string, int> types = {
        {"upca", BARCODE_TYPE_UPCA},     {"upce", BARCODE_TYPE_UPCE},     {"ean8", BARCODE_TYPE_EAN8},
        {"ean13", BARCODE_TYPE_EAN13},   {"itf", BARCODE_TYPE_ITF},       {"codabar", BARCODE_TYPE_CODABAR},
        {"code39", BARCODE_TYPE_CODE39}, {"code93", BARCODE_TYPE_CODE93}, {"code128", BARCODE_TYPE_CODE128},
        {"qr", BARCODE_TYPE_QRCODE},     {"pdf417", BARCODE_TYPE_PDF417},
    };
    auto it = types.find(name);
    if (it != types.end()) return it->second;
    long value = 0;
    if (!ParseNumber(name, 0, 0xFFFF, &value)) return -1;
    for (const auto& known : types) {
        if (known.second == value) return known.second;
    }
    return -1;
}

int RunBarcode(const std::vector<std::string>& args) {
    if (args.size() != 2) return Fail("barcode needs TYPE and DATA");
    if (BarcodeType(args[0]) < 0) return Fail("unknown barcode type: " + args[0]);
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            if (!Reachable(h)) return Fail(Unreachable(h));
            const int result =
                KESTO_PrintBarcode(h, BarcodeType(a[0]), a[1].data(), static_cast<int>(a[1].size()));
            // Connected, so a refusal means the data does not fit the type's length field.
            return result == 0 ? 0 : Fail("barcode not printed: data too long for " + a[0]);
        },
        args);
}

int RunImage(const std::vector<std::string>& args) {
    if (args.size() != 1) return Fail("image needs one FILE");
    if (::access(args[0].c_str(), R_OK) != 0) return Fail("cannot read " + args[0]);
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            const int result = KESTO_PrintImage(h, a[0].c_str());
            if (result >= 0) return 0;
            return Fail(Reachable(h) ? "image not printed: the conversion gave no usable picture"
                                     : Unreachable(h));
        },
        args);
}

int RunCut(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a != "--feed") return Fail("cut takes only --feed");
    }
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            const int result = a.empty() ? KESTO_CutPaper(h) : KESTO_FeedAndCutPaper(h);
            return result > 0 ? 0 : Fail("cut failed: " + Unreachable(h));
        },
        args);
}

int RunDrawer(const std::vector<std::string>& args) {
    if (args.empty() || (args[0] != "A" && args[0] != "B")) return Fail("drawer needs A or B");
    // The pulse times go to the printer in one byte each, in units of 2 ms.
    for (size_t i = 1; i < args.size(); i += 2) {
        if (args[i] != "--on" && args[i] != "--off") return Fail("unknown drawer option: " + args[i]);
        long ms = 0;
        if (i + 1 >= args.size()) return Fail(args[i] + " needs a time in ms");
        if (!ParseNumber(args[i + 1], 0, 510, &ms))
            return Fail(args[i] + " takes 0 to 510 ms, not " + args[i + 1]);
    }
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            long onMs = 50, offMs = 500;
            for (size_t i = 1; i + 1 < a.size(); i += 2) {
                ParseNumber(a[i + 1], 0, 510, a[i] == "--on" ? &onMs : &offMs);
            }
            const int on = static_cast<int>(onMs / 2), off = static_cast<int>(offMs / 2);
            const int result =
                a[0] == "A" ? KESTO_OpenCashDrawerA(h, on, off) : KESTO_OpenCashDrawerB(h, on, off);
            return result == 5 ? 0 : Fail("drawer pulse not sent: " + Unreachable(h));
        },
        args);
}

int PrintStatusCode(int code) {
    std::printf("%d %s\n", code, StatusWords(code));
    std::fflush(stdout);
    return 0;
}

int PrintChangedStatusCode(int code) {
    if (code != KESTO_STATUS_NOTHING) PrintStatusCode(code);
    return 0;
}

int RunStatus(const std::vector<std::string>& args) {
    long ignored = 0;
    if (!args.empty() && args[0] != "--watch") return Fail("status takes only --watch [SECONDS]");
    if (args.size() > 2 || (args.size() == 2 && !ParseNumber(args[1], 0, 86400 * 365L, &ignored)))
        return Fail("status --watch takes SECONDS as a whole number (0 watches until Ctrl-C)");
    return WithDevice(
        [](void* h, const std::vector<std::string>& a) {
            const bool watching = !a.empty() && a[0] == "--watch";
            if (!watching) {
                static const char kAutoStatusBack[] = {0x1D, 0x61, 0x0F};
                if (KESTO_WriteData(h, kAutoStatusBack, 3) != 3) return Fail(Unreachable(h));
                const int code = KESTO_GetPrinterStatus(h);
                if (code < 0) return Fail(Unreachable(h));
                PrintStatusCode(code);
                // The status code tells one change; the state line tells everything at once.
                const int state = KESTO_GetPrinterState(h);
                if (state < 0) return Fail(Unreachable(h));
                std::printf("state: %s\n", StateWords(state).c_str());
                return 0;
            }
            long seconds = 0;
            if (a.size() > 1) ParseNumber(a[1], 0, 86400 * 365L, &seconds);
            if (KESTO_OnPrinterError(h, PrintChangedStatusCode) != 1) return Fail(Unreachable(h));
            // Before the status thread starts, so that it inherits the mask.
            kesto::tools::BlockStopSignals();
            if (KESTO_CreateStatusThread(h) != 1) return Fail("cannot start the status thread");
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
            while (!kesto::tools::TakeStopSignal() &&
                   (seconds == 0 || std::chrono::steady_clock::now() < end)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            KESTO_DestroyStatusThread(h);
            return 0;
        },
        args);
}

int RunVersion(const std::vector<std::string>&) {
    char version[32];
    KESTO_GetVersionString(version, sizeof version);
    std::printf("libKESTOCommu %s\n", version);
    return 0;
}

const std::map<std::string, Command>& Commands() {
    static const std::map<std::string, Command> commands = {
        {"list",
         {"kesto list\n  Lists the attached USB printers of the family, one device description per line.\n",
          RunList}},
        {"print",
         {"kesto [PRINTER] print [--wait] [--code-tables N,N...] [--multibyte SYSTEM] [--raw] [TEXT...]\n"
          "  Prints each argument (or each line of standard input) as a line of text in the locale's\n"
          "  characters, through the printer's code tables.\n"
          "  --code-tables 0,19,17  the ESC t tables the printer holds, in order of preference\n"
          "  --multibyte SYSTEM     its multibyte font: gb18030, shift-jis, big5 or ksc5601\n"
          "  --raw                  the bytes as they are, each line as a text block from a reset printer\n"
          "  --wait                 waits up to 10 s for the printer's confirmation; prints \"printed\"\n"
          "                         (exit 0) or why not (exit 2)\n",
          RunPrint}},
        {"receipt",
         {"kesto [PRINTER] receipt 1|2|3|4\n  Prints one of the four sample receipts.\n", RunReceipt}},
        {"barcode",
         {"kesto [PRINTER] barcode TYPE DATA\n  TYPE: upca upce ean8 ean13 itf codabar code39 code93 code128 "
          "qr pdf417, or a type code.\n",
          RunBarcode}},
        {"image",
         {"kesto [PRINTER] image FILE\n  Prints an image file through the conversion script.\n", RunImage}},
        {"cut",
         {"kesto [PRINTER] cut [--feed]\n  Cuts the paper; --feed feeds to the cutter first.\n", RunCut}},
        {"drawer",
         {"kesto [PRINTER] drawer A|B [--on MS] [--off MS]\n  Opens cash drawer A (pin 2) or B (pin 5); "
          "pulse 50 ms on, 500 ms off by default.\n",
          RunDrawer}},
        {"status",
         {"kesto [PRINTER] status [--watch [SECONDS]]\n  Prints the printer's status code in words, then its "
          "whole state\n  (cover, paper, drawer, errors); --watch reports every status change until Ctrl-C "
          "or SECONDS.\n",
          RunStatus}},
        {"version", {"kesto version\n  Prints the library version.\n", RunVersion}},
    };
    return commands;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    for (; i < args.size(); i += 2) {
        const std::string& option = args[i];
        if (option != "--tcp" && option != "--usb" && option != "--device") break;
        if (i + 1 >= args.size()) return Fail(option + " needs a value");
        const std::string& value = args[i + 1];
        if (option == "--tcp") {
            g_description = "<device><type>ETH</type><path>" + value + "</path></device>";
        } else if (option == "--usb") {
            g_description = "<device><type>USB</type><path></path><modal>" + value + "</modal></device>";
        } else {
            g_description = value;
        }
    }
    if (i >= args.size() || args[i] == "--help" || args[i] == "-h") {
        std::fputs(kUsage, i >= args.size() ? stderr : stdout);
        return i >= args.size() ? 2 : 0;
    }
    const auto it = Commands().find(args[i]);
    if (it == Commands().end()) return Fail("unknown command: " + args[i] + " (see kesto --help)");
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    if (WantsHelp(rest)) {
        std::fputs(it->second.help, stdout);
        return 0;
    }
    return it->second.run(rest);
}
