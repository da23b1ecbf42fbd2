#include "sim/CommandShell.h"

namespace vornsim {

void CommandShell::OnBytes(Simulator& sim, std::string_view bytes) {
    while (!bytes.empty()) {
        size_t taken = 0;
        for (auto& raw : rawHandlers_) {
            taken = raw(sim, *this, bytes);
            if (taken) break;
        }
        if (taken) {
            bytes.remove_prefix(std::min(taken, bytes.size()));
            continue;
        }
        char c = bytes.front();
        bytes.remove_prefix(1);
        if (c == '\r') {
            std::string line;
            line.swap(line_);
            Dispatch(sim, line);
            // A handler may have handed the line to another personality.
            if (sim.Active() != this) {
                if (!bytes.empty() && sim.Active()) sim.Active()->OnBytes(sim, bytes);
                return;
            }
        } else if (c != '\n' && line_.size() < 4096) {
            line_ += c;
        }
    }
}

void CommandShell::Dispatch(Simulator& sim, const std::string& line) {
    for (auto& handler : handlers_)
        if (handler(sim, *this, line)) return;
    if (line.empty()) {
        Answer(sim, std::vector<std::string>{});
        return;
    }
    Error(sim);
}

void CommandShell::Answer(Simulator& sim, const std::vector<std::string>& lines) {
    std::string out = "\r";
    for (const std::string& l : lines) out += l + "\r";
    out += ">";
    sim.Send(out);
}

}  // namespace vornsim
