#pragma once
// The instrument firmware's command interpreter: text commands ending in CR, answers of
// CR-separated lines ending in the prompt '>'. Command sets (the bootloader hand-over,
// the loggers' settings, the lab instruments' values) register their handlers here.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Simulator.h"

namespace vornsim {

class CommandShell : public Personality {
public:
    // A handler gets the command line without its CR. It answers true when the command
    // is its own (having sent whatever the instrument says), false to let the next
    // handler try. A line no handler takes is answered with Error().
    using Handler = std::function<bool(Simulator& sim, CommandShell& shell, const std::string& line)>;
    // A raw handler sees bytes before line assembly (radio modem "+++", wake packets);
    // it answers how many leading bytes it consumed.
    using RawHandler = std::function<size_t(Simulator& sim, CommandShell& shell, std::string_view bytes)>;

    const char* Name() const override { return "command interpreter"; }
    void OnBytes(Simulator& sim, std::string_view bytes) override;
    void OnEnter(Simulator&) override { line_.clear(); }

    void AddHandler(Handler handler) { handlers_.push_back(std::move(handler)); }
    void AddRawHandler(RawHandler handler) { rawHandlers_.push_back(std::move(handler)); }

    // Sends an answer: each line followed by CR, then the prompt: "\rRW 1.02\r>".
    static void Answer(Simulator& sim, const std::vector<std::string>& lines);
    static void Answer(Simulator& sim, const std::string& line) { Answer(sim, std::vector<std::string>{line}); }
    static void Error(Simulator& sim) { Answer(sim, "ERROR"); }

private:
    void Dispatch(Simulator& sim, const std::string& line);

    std::string line_;
    std::vector<Handler> handlers_;
    std::vector<RawHandler> rawHandlers_;
};

}  // namespace vornsim
