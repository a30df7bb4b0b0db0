"""x264's CRF and preset against quality, size and CPU time, on the capture's own stills.

For each stretch (half a second from each given second, 1280x720 at 60 fps) the lossless PNG
stills of intro-capture --frames are the reference. They are turned once into raw RGBA, as
intro-capture pipes frames to ffmpeg, coded with each setting (ffmpeg's CPU time, user + system,
per frame), decoded back to RGB and compared with ffmpeg's psnr and ssim filters: the loss a
viewer sees, chroma subsampling included. Prints one tab-separated line per stretch and setting:
second, setting, PSNR dB, SSIM, bytes, Mbit/s, CPU ms per frame. Lossless settings are checked
byte for byte instead of through the filters.

Usage: quality.py BUILD_DIR WORK_DIR SECOND... [-- SETTING...]
  a SETTING is PRESET:CRF (yuv420p), PRESET:CRF:444 (yuv444p), ffv1 or x264rgb (lossless);
  without any, the table in the README.
"""
import os
import re
import resource
import subprocess
import sys

W, H, FPS, SPAN = 1280, 720, 60, 0.5
DEFAULT = ["veryfast:23", "veryfast:18", "veryfast:15", "veryfast:12", "faster:15", "fast:15", "medium:18",
           "medium:15", "medium:12", "slow:15", "ffv1", "x264rgb"]


def cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run(args):
    return subprocess.run(args, check=True, capture_output=True)


def codec(setting):
    if setting == "ffv1":  # as intro-capture --lossless
        return "mkv", ["-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-slicecrc", "1", "-pix_fmt", "bgr0"]
    if setting == "x264rgb":
        return "mp4", ["-c:v", "libx264rgb", "-preset", "veryfast", "-qp", "0", "-pix_fmt", "bgr0"]
    preset, crf, *chroma = setting.split(":")
    return "mp4", ["-c:v", "libx264", "-preset", preset, "-crf", crf, "-pix_fmt",
                   "yuv444p" if chroma == ["444"] else "yuv420p"]


def main():
    args = sys.argv[1:]
    settings = args[args.index("--") + 1:] if "--" in args else DEFAULT
    args = args[:args.index("--")] if "--" in args else args
    build, work, seconds = args[0], args[1], args[2:]
    os.makedirs(work, exist_ok=True)
    raw_input = ["-f", "rawvideo", "-pix_fmt", "rgba", "-s", f"{W}x{H}", "-framerate", str(FPS)]
    for s in seconds:
        raw = os.path.join(work, f"{s}.rgba")
        if not os.path.exists(raw):
            stills = os.path.join(work, f"{s}-stills")
            run([os.path.join(build, "intro-capture"), "-s", f"{W}x{H}", "--from", s, "--to", str(float(s) + SPAN),
                 "--frames", stills])
            run(["ffmpeg", "-v", "error", "-framerate", str(FPS), "-i", os.path.join(stills, "%06d.png"),
                 "-f", "rawvideo", "-pix_fmt", "rgba", "-y", raw])
        frames = os.path.getsize(raw) // (W * H * 4)
        for setting in settings:
            ext, how = codec(setting)
            out = os.path.join(work, f"coded.{ext}")
            c0 = cpu()
            run(["ffmpeg", "-v", "error", *raw_input, "-i", raw, *how, "-y", out])
            ms = (cpu() - c0) / frames * 1000
            size = os.path.getsize(out)
            if setting in ("ffv1", "x264rgb"):
                back = run(["ffmpeg", "-v", "error", "-i", out, "-f", "rawvideo", "-pix_fmt", "rgba", "-"]).stdout
                psnr, ssim = ("exact", "exact") if back == open(raw, "rb").read() else ("DIFFERS", "DIFFERS")
            else:
                log = run(["ffmpeg", "-v", "info", "-i", out, *raw_input, "-i", raw, "-lavfi",
                           "[0:v]format=gbrp[a];[1:v]format=gbrp[b];[a]split[a1][a2];[b]split[b1][b2];"
                           "[a1][b1]psnr;[a2][b2]ssim", "-f", "null", "-"]).stderr.decode()
                psnr = re.search(r"PSNR .*average:(\S+)", log).group(1)
                ssim = re.search(r"SSIM .*All:(\S+)", log).group(1)
            mbit = size * 8 / (frames / FPS) / 1e6
            print(f"{s}\t{setting}\t{psnr}\t{ssim}\t{size}\t{mbit:.2f}\t{ms:.1f}", flush=True)
            os.remove(out)


if __name__ == "__main__":
    main()
