#!/usr/bin/env python3
"""Turns the benchmark results in a build directory into one table of ratios.

report.py DIR  reads DIR/{image,imagelib,convert,command,bulk,status,state,enum,text}.json (Google
Benchmark output) and DIR/npm.json and DIR/npm_text.json, prints a Markdown table.
"""
import json
import os
import sys

out_dir = sys.argv[1]


def load(name):
    try:
        with open(os.path.join(out_dir, name)) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def bench(results, name, args=None):
    if not results:
        return None
    # The median of the repetitions when there are several, else the one run;
    # args ("576/2000") picks one of several argument sets.
    plain = None
    for b in results.get("benchmarks", []):
        run = b.get("run_name", b["name"])
        wanted = run.startswith(f"{name}/{args}/") if args else run.split("/")[0] == name
        if not wanted or b.get("error_occurred"):
            continue
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                return b
        elif plain is None:
            plain = b
    return plain


def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale


rows = []


def row(name, measured, baseline, ratio, target, met, note=""):
    rows.append((name, measured, baseline, ratio, target, met, note))


def yes(ok):
    return "yes" if ok else "no"


image = load("image.json")
printed, floor = bench(image, "BM_Image_PrintImage"), bench(image, "BM_Image_ThresholdFloor")
npm = load("npm.json")
script = bench(image, "BM_Image_ScriptOnly")
if printed and floor:
    r = ms(printed) / ms(floor)
    share = f"; the script alone takes {ms(script):.1f} ms of it" if script else ""
    row("image: KESTO_PrintImage 576x2000 vs in-memory threshold loop", f"{ms(printed):.1f} ms",
        f"{ms(floor):.2f} ms", f"{r:.1f}x", "<= 3x", yes(r <= 3),
        "includes the conversion script (spawn of sh and cp)" + share +
        ", the BMP file round trips through /tmp and the log")
else:
    row("image: KESTO_PrintImage vs floor", "failed", "", "", "<= 3x", "no")
if printed and npm and "ms" in npm:
    r = ms(printed) / npm["ms"]
    row(f"image: KESTO_PrintImage vs npm @point-of-sale/receipt-printer-encoder {npm['version']}",
        f"{ms(printed):.1f} ms", f"{npm['ms']:.1f} ms", f"{r:.2f}x", "< 1x", yes(r < 1),
        "npm: encode only, pixels already in memory (median of %d)" % npm["runs"])
else:
    reason = (npm or {}).get("error", "not measured")
    row("image: KESTO_PrintImage vs npm receipt-printer-encoder", f"{ms(printed):.1f} ms" if printed else "",
        "n/a", "n/a", "< 1x", "n/a", "npm package unavailable: " + reason)
if printed:
    rss = printed["peak_rss_kib"] / 1024
    row("image: peak resident memory of the image run", f"{rss:.1f} MiB", "", "", "report", "",
        "getrusage ru_maxrss of the process, benchmark harness and 3.4 MB test picture included")

convert = load("convert.json")
gaps = []
for label, name, goal in (("sample photo 512x320 JPEG", "Sample", 40), ("3000x2000 photo JPEG", "Photo", 150),
                          ("logo with text 800x300 PNG", "Logo", None)):
    new, old = bench(convert, f"BM_Convert_{name}New"), bench(convert, f"BM_Convert_{name}Old")
    title = f"image: KESTO_PrintImage {label}, new script vs old script"
    if not (new and old):
        row(title, "failed", "", "", f"<= {goal} ms" if goal else "report", "no" if goal else "")
        continue
    r = ms(new) / ms(old)
    shares = new["black_percent"], old["black_percent"]
    gaps.append(abs(shares[0] - shares[1]))
    row(title, f"{ms(new):.1f} ms", f"{ms(old):.1f} ms", f"{r:.2f}x", f"<= {goal} ms" if goal else "report",
        yes(ms(new) <= goal) if goal else "",
        "kesto-convert vs ImageMagick alone; black dots %.2f %% vs %.2f %%" % shares)
if gaps:
    gap = max(gaps)
    row(f"image: share of black dots, new vs old script, {len(gaps)} pictures", f"{gap:.2f} points", "", "",
        "<= 2 points", yes(gap <= 2), "the largest difference of the pictures above")
imagelib = load("imagelib.json")
for args in ("576/2000", "512/320"):
    part, base = bench(imagelib, "BM_ImageLibrary_PrintPart", args), bench(imagelib, "BM_ImageLibrary_Floor", args)
    size = args.replace("/", "x")
    if part and base:
        r = ms(part) / ms(base)
        row(f"image: library part of KESTO_PrintImage, {size} 24-bit BMP, vs in-memory floor", f"{ms(part):.2f} ms",
            f"{ms(base):.2f} ms", f"{r:.1f}x", "<= 3x", yes(r <= 3),
            "no script process: read the 24-bit file, one-bit file written and read back, sent to a loopback "
            "sink, with the log entries")
    else:
        row(f"image: library part of KESTO_PrintImage, {size}", "failed", "", "", "<= 3x", "no")

command = load("command.json")
lib, raw = bench(command, "BM_Command_SetLeftAllign10k"), bench(command, "BM_Command_RawSend10k")
logged = bench(command, "BM_Command_LogAndSend10k")
if lib and raw:
    r = ms(lib) / ms(raw)
    row("per command: 10,000 SetLeftAllign vs 10,000 raw send of 3 bytes", f"{ms(lib):.1f} ms",
        f"{ms(raw):.1f} ms", f"{r:.1f}x", "report", "",
        "every command writes two debug log entries by design")
if lib and logged:
    r = ms(lib) / ms(logged)
    row("per command: 10,000 SetLeftAllign vs 10,000 x (two log entries + raw send)", f"{ms(lib):.1f} ms",
        f"{ms(logged):.1f} ms", f"{r:.2f}x", "<= 1.5x", yes(r <= 1.5),
        "baseline: per command two open/write/close of the log file with entries of the same length, then send")

bulk = load("bulk.json")
lib, raw = bench(bulk, "BM_Bulk_WriteData64M"), bench(bulk, "BM_Bulk_RawSend64M")
if lib and raw:
    gl, gr = lib["bytes_per_second"] / 2**30, raw["bytes_per_second"] / 2**30
    r = gl / gr
    row("bulk: KESTO_WriteData 64 MiB in 1 MiB calls vs raw send", f"{gl:.2f} GiB/s", f"{gr:.2f} GiB/s",
        f"{r:.2f}x", ">= 0.9x", yes(r >= 0.9),
        "each 1 MiB call adds three debug log entries and a readiness poll (the socket is non-blocking)")

status = load("status.json")
for name, label in (("BM_Status_SilentPrinter", "polling a silent printer"),
                    ("BM_Status_StandingBack", "standing back (g_bPrintInProgress set)")):
    b = bench(status, name)
    if b:
        pct = b["cpu_percent"]
        row(f"status thread: CPU {label}, {b['window_s']:.0f} s", f"{pct:.2f} % of a core", "100 % (one core)",
            f"{pct / 100:.4f}", "<= 1 %", yes(pct <= 1.0), "process CPU while the caller sleeps")

state = load("state.json")
waited, trip = bench(state, "BM_State_WaitPrinted"), bench(state, "BM_State_ReceiptAndRoundTrip")
if waited and trip:
    r = ms(waited) / ms(trip)
    row("state: short receipt + KESTO_WaitPrinted vs the receipt + a bare round trip, virtual printer",
        f"{ms(waited) * 1000:.0f} us", f"{ms(trip) * 1000:.0f} us", f"{r:.2f}x", "<= 1.5x", yes(r <= 1.5),
        "round trip: DLE EOT 1 written and its answer read on the same socket, through the library's original Write and Read (their log entries included)")
else:
    row("state: KESTO_WaitPrinted vs a bare round trip", "failed", "", "", "<= 1.5x", "no")
got = bench(state, "BM_State_GetPrinterStateWithStatusThread")
if got:
    us = ms(got) * 1000
    row("state: KESTO_GetPrinterState with the status thread running", f"{us:.2f} us", "10 us (goal)",
        f"{us / 10:.2f}", "<= 10 us", yes(us <= 10), "the latest status block, no wire traffic; the call logs only a changed state, so none in the loop")
else:
    row("state: KESTO_GetPrinterState with the status thread", "failed", "", "", "<= 10 us", "no")

enum = load("enum.json")
four, empty = bench(enum, "BM_Enum_FourPrinters"), bench(enum, "BM_Enum_EmptyBus")
if four and empty:
    r = ms(four) / ms(empty)
    row("enumeration: KESTO_GetHardwareXML, 4 emulated printers vs empty bus", f"{ms(four):.2f} ms",
        f"{ms(empty):.2f} ms", f"{r:.1f}x", "report", "", "umockdev testbed; libusb_init/exit on every call")
else:
    row("enumeration: KESTO_GetHardwareXML", "failed", "", "", "report", "")

text = bench(load("text.json"), "BM_Text_EncodeMixedEuropean")
npm_text = load("npm_text.json") or {}
if text and "ms" in npm_text:
    r = ms(text) / npm_text["ms"]
    ours, theirs = int(text["switches"]), npm_text["switches"]
    row(f"text: encode 1 MiB mixed European UTF-8 vs npm @point-of-sale/codepage-encoder {npm_text['version']}",
        f"{ms(text):.2f} ms, {ours} ESC t", f"{npm_text['ms']:.0f} ms, {theirs} switches", f"{r:.5f}x",
        "<= 0.5x, switches <=", yes(r <= 0.5 and ours <= theirs),
        "bytes out, no transport; the same 16 tables; npm: autoEncode (median of %d)" % npm_text["runs"])
else:
    reason = npm_text.get("error", "not measured") if text else "the library's row failed"
    row("text: encode 1 MiB mixed European UTF-8 vs npm codepage-encoder", f"{ms(text):.2f} ms" if text else "",
        "n/a", "n/a", "<= 0.5x", "n/a", reason)

print("| measurement | measured | baseline | ratio | target | met? | notes |")
print("|---|---|---|---|---|---|---|")
for r in rows:
    print("| " + " | ".join(r) + " |")
