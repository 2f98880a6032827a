// What the printer tells the host: automatic status blocks (GS a), real-time
// status (DLE EOT), GS r, and the other real-time commands (DLE ENQ, DLE DC4).
#include "printer_core.h"

namespace kesto::vprinter {

std::vector<uint8_t> StatusBlock(const Condition& c) {
    uint8_t b1 = 0x10;  // bit 4 is always set
    if (c.drawer_high) b1 |= 0x04;
    if (c.Offline()) b1 |= 0x08;
    if (c.cover_open) b1 |= 0x20;
    if (c.feed_button) b1 |= 0x40;  // paper being fed by the button
    uint8_t b2 = 0;
    if (c.waiting_recovery) b2 |= 0x01;
    if (c.feed_button) b2 |= 0x02;
    if (c.cutter_error) b2 |= 0x08;
    if (c.unrecoverable_error) b2 |= 0x20;
    if (c.auto_recoverable_error) b2 |= 0x40;
    uint8_t b3 = 0;
    if (c.paper_near_end) b3 |= 0x03;
    if (c.paper_end) b3 |= 0x0C;
    return {b1, b2, b3, 0x00};
}

bool RealTimeStatus(const Condition& c, int n, uint8_t* out) {
    uint8_t v = 0x12;  // bits 1 and 4 are always set
    switch (n) {
        case 1:  // printer
            if (c.drawer_high) v |= 0x04;
            if (c.Offline()) v |= 0x08;
            if (c.waiting_recovery) v |= 0x20;
            if (c.feed_button) v |= 0x40;
            break;
        case 2:  // off-line cause
            if (c.cover_open) v |= 0x04;
            if (c.feed_button) v |= 0x08;
            if (c.paper_end) v |= 0x20;
            if (c.Error()) v |= 0x40;
            break;
        case 3:  // error cause
            if (c.cutter_error) v |= 0x08;
            if (c.unrecoverable_error) v |= 0x20;
            if (c.auto_recoverable_error) v |= 0x40;
            break;
        case 4:  // paper roll sensor
            if (c.paper_near_end) v |= 0x0C;
            if (c.paper_end) v |= 0x60;
            break;
        default:
            return false;
    }
    *out = v;
    return true;
}

bool IsStatusCommand(const Command& c) {
    if (c.kind == CommandKind::kDle) return true;
    if (c.kind != CommandKind::kGs) return false;
    return c.code == 'a' || c.code == 'r' || c.code == 'I' ||
           (c.code == '(' && !c.args.empty() && c.args[0] == 'H');
}

void PrinterCore::Reply(const uint8_t* bytes, size_t n) {
    if (vp.reply_) vp.reply_(bytes, n);
}

void PrinterCore::SendStatus() {
    if (!vp.reply_) return;
    std::vector<uint8_t> b = StatusBlock(condition());
    Reply(b.data(), b.size());
}

void VirtualPrinter::SetCondition(const Condition& c) {
    const Condition old = condition_;
    condition_ = c;
    if (c.power_off) {
        if (!old.power_off) core_->PowerLoss();
        return;
    }
    if (old.power_off) {
        // Switching off and on clears every error; automatic status back is off again.
        condition_.cutter_error = condition_.unrecoverable_error = condition_.auto_recoverable_error = false;
        condition_.waiting_recovery = false;
        core_->PowerOn();
        return;
    }
    // The groups of GS a: 1 drawer pin, 2 on/off line (the rest of the first
    // byte), 4 errors (second byte), 8 paper sensors (third byte).
    const std::vector<uint8_t> was = StatusBlock(old), now = StatusBlock(c);
    uint8_t groups = 0;
    if ((was[0] ^ now[0]) & 0x04) groups |= 0x01;
    if ((was[0] ^ now[0]) & ~0x04) groups |= 0x02;
    if (was[1] != now[1]) groups |= 0x04;
    if (was[2] != now[2]) groups |= 0x08;
    if (groups & core_->asb) core_->SendStatus();
    core_->Resume();
}

size_t VirtualPrinter::held() const {
    size_t n = 0;
    for (const HeldCommand& h : core_->held) n += h.end_of_stream ? 0 : 1;
    return n;
}

size_t VirtualPrinter::held_bytes() const {
    return core_->held_bytes;
}

void SetAutomaticStatus(PrinterCore& p, const Command& c) {
    const uint8_t mask = c.args[0];
    p.asb = mask;
    p.Say(mask ? Format("GS a: automatic status back on, mask 0x%02X", mask)
               : "GS a: automatic status back off");
    if (mask) p.SendStatus();
}

void ReplyTransmitStatus(PrinterCore& p, const Command& c) {
    const Condition& cond = p.condition();
    int n = Digit(c.args[0]);
    uint8_t v = 0;
    if (n == 1) {
        if (cond.paper_near_end) v |= 0x03;
        if (cond.paper_end) v |= 0x0C;
    } else if (n == 2) {
        if (!cond.drawer_high) v |= 0x01;
    } else {
        p.Say(Format("GS r: status %d unknown, no answer", n));
        return;
    }
    p.Reply(&v, 1);
    p.Say(Format("GS r: %s status sent, 0x%02X", n == 1 ? "paper sensor" : "drawer", v));
}

void ReplyProcessId(PrinterCore& p, const Command& c) {
    const std::vector<uint8_t>& d = c.data;  // fn m d1 d2 d3 d4
    if (d.size() != 6 || d[0] != 48 || d[1] != 48)
        return p.Say(
            Format("GS ( H: function %d not supported, %zu bytes skipped", d.empty() ? -1 : d[0], d.size()));
    for (size_t i = 2; i < 6; ++i)
        if (d[i] < 32 || d[i] > 126)
            return p.Say("GS ( H: process ID " + HexBytes(d) + " out of range, no answer");
    // Everything received before it has been rendered by now.
    const uint8_t reply[] = {0x37, 0x22, d[2], d[3], d[4], d[5], 0x00};
    p.Reply(reply, sizeof reply);
    p.Say("GS ( H: process ID " + Quote({d.begin() + 2, d.end()}) + " sent");
}

namespace {

void TransmitRealTimeStatus(PrinterCore& p, const Command& c) {
    int n = c.args[0];
    uint8_t v = 0;
    if (!RealTimeStatus(p.condition(), n, &v)) {
        p.Say(Format("DLE EOT %d: unknown status, no answer", n));
        return;
    }
    static const char* const kWhat[] = {"", "printer", "off-line cause", "error", "paper roll sensor"};
    p.Reply(&v, 1);
    p.Say(Format("DLE EOT %d: %s status sent, 0x%02X", n, kWhat[n], v));
}

// Only a recoverable error (a cutter jam, or a printer waiting for
// recovery) can be recovered from; otherwise the request is ignored.
void RecoverFromError(PrinterCore& p, const Command& c) {
    const int n = c.args[0];
    if (n != 1 && n != 2) return p.Say(Format("DLE ENQ %d: unknown, ignored", n));
    Condition cond = p.condition();
    if (!cond.cutter_error && !cond.waiting_recovery)
        return p.Say(Format("DLE ENQ %d: no recoverable error, ignored", n));
    if (n == 2) {
        // The receive and print buffers go, process IDs among them unanswered;
        // where earlier connections ended stays.
        size_t dropped = 0;
        for (auto it = p.held.begin(); it != p.held.end();) {
            if (it->end_of_stream) {
                ++it;
            } else {
                p.held_bytes -= it->size();
                it = p.held.erase(it);
                ++dropped;
            }
        }
        p.ClearLine();
        p.Say(Format("DLE ENQ 2: recover from error, buffers cleared, %zu commands dropped", dropped));
    } else {
        p.Say("DLE ENQ 1: recover from error and restart printing");
    }
    cond.cutter_error = cond.waiting_recovery = false;
    p.vp.SetCondition(cond);
}

void GeneratePulse(PrinterCore& p, const Command& c) {
    const auto& a = c.args;
    if (a[0] == 1)
        p.DrawerPulse(a[1] == 0 ? 2 : 5, a[2] * 50, a[2] * 50);
    else
        p.Say(Format("DLE DC4 %d: not supported, ignored", a[0]));
}

const CommandHandler kRealTimeHandlers[] = {
    {0x04, TransmitRealTimeStatus},
    {0x05, RecoverFromError},
    {0x14, GeneratePulse},
};

}  // namespace

void ApplyRealTime(PrinterCore& p, const Command& c) {
    Dispatch(kRealTimeHandlers, c.code, p, c);
}

}  // namespace kesto::vprinter
