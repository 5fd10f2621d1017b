#pragma once

namespace pemblor {

// How a device is read again after a settings change or a reboot: one detail
// query, then a check every PauseMs; after every Pauses checks without an
// answer the query goes out again, at most Resends more times. The last
// check comes BudgetSeconds after the first query. Both front ends follow it,
// so a device that the dialog finds again is found by the command line too.
class RereadSchedule {
public:
    static constexpr unsigned RebootWaitMs = 30000;
    static constexpr unsigned PauseMs = 1000;
    static constexpr int Pauses = 5;
    static constexpr int Resends = 8;
    static constexpr int BudgetSeconds = (Resends + 1) * (Pauses + 1) - 1;

    enum class Step { Pause, ResendThenPause, GiveUp };

    // Called before each pause, while no answer has come.
    Step Next()
    {
        if (pausesLeft > 0) {
            --pausesLeft;
            return Step::Pause;
        }
        if (resendsLeft == 0)
            return Step::GiveUp;
        --resendsLeft;
        pausesLeft = Pauses;
        return Step::ResendThenPause;
    }

private:
    int pausesLeft = Pauses;
    int resendsLeft = Resends;
};

} // namespace pemblor
