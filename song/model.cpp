// The song model's tables and their state before any song is read.
#include "model.h"

namespace port {

int32_t row_len;
int32_t echo_len;
std::vector<float> instr[n_slots];
int32_t instr_len[n_slots];
float pan[n_slots];
float lowpass[n_slots];
std::vector<float> echo[n_slots];
int32_t ptn[n_ptn][n_entry];
int32_t trak[n_slots][n_entry];

// Note frequencies in whole Hz, c1 to b6: octave 6 as tuned, each lower octave the one above it
// halved with integer division (held by the check below); then the command codes and the final 0.
constexpr int32_t notei[n_names] = {
    32,   34,   36,   38,   41,   43,   46,   49,   51,   55,   58,   61,
    65,   69,   73,   77,   82,   87,   92,   98,   103,  110,  116,  123,
    130,  138,  146,  155,  164,  174,  185,  196,  207,  220,  233,  247,
    261,  277,  293,  311,  329,  349,  370,  392,  415,  440,  466,  494,
    523,  554,  587,  622,  659,  698,  740,  784,  830,  880,  932,  988,
    1047, 1109, 1175, 1245, 1319, 1397, 1480, 1568, 1661, 1760, 1864, 1976,
    e_echo1, e_echo0, e_stop, e_vol, e_sld, 0,
};
static_assert([] {
    for (int k = 0; k < n_notes - 12; k++)
        if (notei[k] != notei[k + 12] / 2)
            return false;
    return true;
}());

// Upper-case letters are the sharps; e and b have none.
#define OCTAVE(n) "c" #n, "C" #n, "d" #n, "D" #n, "e" #n, "f" #n, "F" #n, "g" #n, "G" #n, "a" #n, "A" #n, "b" #n
const char* const note_names[n_names] = {
    OCTAVE(1), OCTAVE(2), OCTAVE(3), OCTAVE(4), OCTAVE(5), OCTAVE(6),
    "echo1", "echo0", "stop", "vol", "sld", "0",
};
#undef OCTAVE

void song_reset()
{
    row_len = 0;
    echo_len = 0;
    for (int n = 0; n < n_slots; n++) {
        instr[n].clear();
        instr[n].shrink_to_fit();
        instr_len[n] = 0;
        pan[n] = 0.5f;
        lowpass[n] = 0;
        echo[n].clear();
        echo[n].shrink_to_fit();
        trak[n][0] = e_end;
    }
    for (int n = 0; n < n_ptn; n++)
        ptn[n][0] = e_end;
}

int playing_channels()
{
    int n = 0;
    while (n + 1 < n_slots && trak[n + 1][0] != e_end)
        n++;
    return n;
}

}  // namespace port
