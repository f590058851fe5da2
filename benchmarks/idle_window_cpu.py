#!/usr/bin/env python3
"""CPU time per wall second of the engine at a still screen in a real window.

Starts an Xvfb display, runs the tavelo program in a window on it and reads
the engine's CPU time (user + system) from getrusage-style counters: the
steady state over SECONDS seconds after a warm-up second (from /proc, while
it runs), and the whole run including start-up (wait4's rusage when it
ends). The game is the bundled demo, or with --still a small game whose
script only waits, so the screen certainly stands still. Target: below 1 %
of one core.

usage: benchmarks/idle_window_cpu.py [--build BUILD_DIR] [--seconds 10] [--still | GAME_DIR]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

STILL_GAME = """.entry main
.function "$init@GLOBAL" init
.function "$main@GLOBAL" main
init:
    return
main:
    line 1
    push_int -1
    syscall_discard 0xCF35F0E3 1
    return
"""


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime, stime


def free_display():
    for number in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            return f":{number}"
    sys.exit("no free X display number")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(here, "..", "build"))
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--still", action="store_true", help="a game that only waits")
    parser.add_argument("game", nargs="?")
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="tavelo-idle-")
    try:
        game = options.game or os.path.join(options.build, "games", "demo")
        if options.still:
            game = os.path.join(work, "game")
            os.makedirs(os.path.join(game, "scenario"))
            with open(os.path.join(work, "start.tva"), "w") as source:
                source.write(STILL_GAME)
            with open(os.path.join(game, "tavelo.env"), "w") as environment:
                # The demo's frame limit: the loop wakes once a frame when idle.
                environment.write("TITLEBAR IdleBench\nMAX_FPS 60\n")
            subprocess.run([os.path.join(options.build, "bin", "tvoasm"), os.path.join(work, "start.tva"), "-o",
                            os.path.join(game, "scenario", "start.tvo")], check=True)

        display = free_display()
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        environment = dict(os.environ, DISPLAY=display, TAVELO_CONFIG_HOME=os.path.join(work, "settings"))
        run_ms = int((options.seconds + 3) * 1000)
        started = time.monotonic()
        engine = subprocess.Popen([os.path.join(options.build, "tavelo"), "--quit-after", str(run_ms), game],
                                  env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        first_cpu, first_wall = cpu_seconds(engine.pid), time.monotonic()
        time.sleep(options.seconds)
        last_cpu, last_wall = cpu_seconds(engine.pid), time.monotonic()
        _, status, usage = os.wait4(engine.pid, 0)
        ended = time.monotonic()
        xvfb.terminate()
        xvfb.wait()

        steady = (last_cpu - first_cpu) / (last_wall - first_wall)
        whole = (usage.ru_utime + usage.ru_stime) / (ended - started)
        print(f"game: {game}")
        print(f"steady state over {last_wall - first_wall:.1f} s: {steady * 100:.2f} % of one core")
        print(f"whole run ({ended - started:.1f} s, start-up included, getrusage): {whole * 100:.2f} % of one core")
        print(f"exit status: {os.waitstatus_to_exitcode(status)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
