// intro-capture: the show to an MP4 video (or PNG stills) and its music to a WAV file, frame by
// frame on a fixed clock, without a display or a sound card.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "../playback/clock.h"
#include "../playback/music.h"
#include "../scene/scene.h"
#include "batch.h"
#include "encoder.h"
#include "eta.h"
#include "gl.h"
#include "options.h"
#include "outputs.h"
#include "progress.h"
#include "report.h"
#include "stills.h"
#include "stop.h"
#include "wav.h"

namespace {
options opt;

// --help: what the program does, then the options (options.cpp), then how outputs are written.
const char help_intro[] =
    "Records the Vintelo show to a video (H.264 + AAC, or FFV1 + FLAC with --lossless, through\n"
    "ffmpeg) and its music to a WAV, without a display or a sound card, the same on every run.\n";
const char help_outro[] =
    "Each captured frame is what a live run at the full frame cap shows when it draws at that moment.\n"
    "Files of the same names are replaced, but only once the whole capture has succeeded: until then\n"
    "it writes hidden files beside them (.NAME.XXXXXX), which a failure or Ctrl+C removes. A link's\n"
    "file is replaced and the link kept; a device, a FIFO or --wav - is written straight into.\n";

// Leaves nothing of this run behind: stops ffmpeg, removes temporary files and stills.
void clean_up()
{
    encoder_kill();
    out_discard();
    stills_discard();
    gl_close();
}

// A run stopped by a signal: nothing of it left, it says so and ends by that signal.
[[noreturn]] void stopped()
{
    clean_up();
    const char* what = opt.out ? opt.out : opt.frames ? opt.frames : opt.wav;
    note("stopped by signal %d; %s is not written", static_cast<int>(stop_signal), what);
    die_by_stop();
}

// Writes the stretch's part of the music as a WAV into fd and closes it. False after reporting.
bool put_wav(int fd, const char* name, int64_t from, int64_t to)
{
    if (!write_wav(fd, &pcm[from * channels], channels, to - from)) {
        int err = errno;
        close(fd);
        return fail("writing %s failed: %s", name, std::strerror(err));
    }
    if (close(fd) != 0)
        return fail("writing %s failed: %s", name, std::strerror(errno));
    return true;
}

// Renders the music and writes the stretch's part of it into fd and scratch (ffmpeg's copy when
// the WAV asked for cannot be read back), where either is open.
bool music(int fd, const char* name, int scratch)
{
    const char* why = "";
    int64_t from = samples_before(opt.first, opt.fps), to = samples_before(opt.last, opt.fps);
    if (!render_music(opt.synth, to, frame_ms(opt.last - 1, opt.fps), &why))
        return fail("the %s synthesizer cannot play its song: %s", opt.synth == synth_port ? "port" : "tiny",
                    why);
    return (fd < 0 || put_wav(fd, name, from, to)) &&
           (scratch < 0 || put_wav(scratch, "the music for ffmpeg", from, to));
}

// Hands on frame n of the stretch, as gl_read gives it.
bool deliver(int64_t n, const uint8_t* rgba)
{
    if (stop_signal)
        return false;
    bool ok = opt.frames ? still_write(n - opt.first, rgba, opt.w, opt.h) : encoder_frame(rgba);
    if (ok)
        progress_step(n + 1 - opt.first);
    return ok;
}

// Draws and hands on every frame of the stretch. Each frame is read back while the next one is
// being rasterised.
bool frames()
{
    std::vector<uint8_t> rgba(static_cast<size_t>(opt.w) * opt.h * 4);
    eta_plan(opt.first, opt.last, opt.fps, opt.w, opt.h,
             coding_cost(opt.frames ? coder_png : opt.lossless ? coder_ffv1 : coder_x264, opt.preset));
    progress_start(opt.last - opt.first, opt.fps);
    for (int64_t n = opt.first; n < opt.last; n++) {
        gl_draw_to(n);
        shoot(frame_ms(n, opt.fps), batch_slots);
        gl_done(n);
        if (n > opt.first) {
            gl_read(n - 1, rgba.data());
            if (!deliver(n - 1, rgba.data()))
                return false;
        }
    }
    gl_read(opt.last - 1, rgba.data());
    return deliver(opt.last - 1, rgba.data());
}

// The absolute name of a file written, for the closing word.
const char* where(const char* path, char* out)
{
    if (!std::strcmp(path, "-"))
        return "standard output";
    if (!realpath(path, out))
        std::snprintf(out, PATH_MAX, "%s", path);
    return out;
}

const char* on(const char* path) { return std::strcmp(path, "-") ? "in" : "on"; }

// One line naming every file written.
void closing_word()
{
    char a[PATH_MAX], b[PATH_MAX];
    double seconds = static_cast<double>(opt.last - opt.first) / opt.fps;
    char music[PATH_MAX + 32] = "";
    if (opt.wav && (opt.out || opt.frames))
        std::snprintf(music, sizeof music, "; the music is %s %s", on(opt.wav), where(opt.wav, b));
    if (opt.out || opt.frames)
        note("%s %s: %lld frame%s of %dx%d at %d fps, %.2f s%s", opt.out ? "the show is in" : "stills in",
             where(opt.out ? opt.out : opt.frames, a), static_cast<long long>(opt.last - opt.first),
             opt.last - opt.first == 1 ? "" : "s", opt.w, opt.h, opt.fps, seconds, music);
    else
        note("the music is %s %s: %.2f s", on(opt.wav), where(opt.wav, a), seconds);
}

int run()
{
    catch_signals();
    const bool video = opt.out != nullptr;
    const char* wav_name = opt.wav && !std::strcmp(opt.wav, "-") ? "standard output" : opt.wav;
    const coding how = {opt.lossless, opt.crf, opt.preset};
    if (video && !encoder_check(how))
        return 1;

    // Every output file exists, under its temporary name, before any work is done.
    int wav_i = -1, video_i = -1, music_i = -1;  // their places in outs
    int wav_fd = -1, scratch_fd = -1;            // the WAV asked for, ffmpeg's own copy, if written
    if (opt.wav && (wav_fd = out_create(opt.wav, nullptr, &wav_i)) < 0)
        return 1;
    if (video) {
        int fd = out_create(opt.out, nullptr, &video_i);
        if (fd < 0)
            return 1;
        close(fd);  // ffmpeg writes it by name
        // ffmpeg reads the music by name: a WAV sent into a stream cannot be read back.
        if ((wav_i < 0 || outs[wav_i].direct) && (scratch_fd = out_create(nullptr, opt.out, &music_i)) < 0)
            return 1;
    }
    const char* music_tmp = music_i >= 0 ? outs[music_i].tmp : wav_i >= 0 ? outs[wav_i].tmp : nullptr;
    if (opt.frames && !stills_open(opt.frames))
        return 1;
    if ((video || opt.frames) && !gl_open(opt.w, opt.h))
        return 1;

    if (!music(wav_fd, wav_name, scratch_fd))
        return 1;
    if (video && !encoder_start(outs[video_i].tmp, opt.muxer, opt.w, opt.h, opt.fps, music_tmp, how))
        return 1;
    if ((video || opt.frames) && !frames())
        return 1;
    if (video && !encoder_finish())
        return 1;
    if (stop_signal)
        return 1;
    // The stills first: their folder can still be refused a place (something was put there
    // meanwhile), and then nothing of the run is kept.
    if (opt.frames && !stills_commit())
        return 1;
    if (!out_commit())
        return 1;
    closing_word();
    return 0;
}
}

int main(int argc, char** argv)
{
    char why[512];
    if (!parse_args(argc, argv, opt, why, sizeof why)) {
        std::fprintf(stderr, "intro-capture: %s; %s\n", why, usage());
        return 2;
    }
    if (opt.help) {
        std::printf("%s\n\n%s\n", usage(), help_intro);
        print_options(stdout);
        std::printf("\n%s", help_outro);
        return 0;
    }
    int status = run();
    if (stop_signal && status != 0)
        stopped();
    if (stop_signal) {  // it came too late to stop anything: all is written, as the closing word says
        gl_close();
        die_by_stop();
    }
    if (status != 0)
        clean_up();
    else
        gl_close();
    return status;
}
