#!/usr/bin/env python3
"""Writes docs/images/translation-*.png: the demo as a translated game.

The demo's scripts are assembled again with UTF-8 text (tvoasm --codepage
UTF-8), its story pages put in English (one page mixes in Japanese, one holds
a word longer than a line), its window font set to a Latin family, and its
environment told CODEPAGE UTF-8 and TEXT_LAYOUT 1. A first headless run reads
the pages aloud into --speech-out to learn when each page is finished; a second
run takes a screenshot of each page two seconds later.

    scripts/translation_screenshots.py [BUILD_DIR]
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build").resolve()

PAGES = {
    "丘に立つと、遠くの町の灯りがひとつ、またひとつと、静かに点っていった。":
        "Standing on the hill, she watched the lights of the distant town come on, one by one, without a sound.",
    "太郎「きれいだね。あの星はね、ずっと昔から、ああして丘の上で回っているんだよ」":
        "Taro「Isn't it beautiful? That star has been turning above this hill since long, long ago.」",
    "花子「ほんとう？　じゃあ、": "Hanako「Really? Then let's come back ",
    "明日もまた来ようね」": "tomorrow, too. 明日もまた来ようね。約束だよ」",
    "二人は並んで、星が回るのをいつまでも眺めていた。":
        "Rindfleischetikettierungsüberwachungsaufgabenübertragungsgesetz, said the star.",
    "――おしまい。": "――The end.",
}


def main() -> int:
    with tempfile.TemporaryDirectory() as temp:
        game = pathlib.Path(temp) / "game"
        shutil.copytree(BUILD / "games" / "demo", game)
        for source in (ROOT / "games" / "demo" / "scenario").glob("*.tva"):
            text = source.read_text(encoding="utf-8")
            for japanese, english in PAGES.items():
                text = text.replace(f'text "{japanese}"', f'text "{english}"')
            if source.name == "start.tva":
                # The story window's font: a Latin family (kana and kanji come
                # from the best Japanese font).
                text = re.sub(r'(story_window:.*?push_string )"ＭＳ ゴシック"', r'\1"DejaVu Sans"', text, flags=re.S)
            patched = pathlib.Path(temp) / source.name
            patched.write_text(text, encoding="utf-8")
            subprocess.run([BUILD / "bin" / "tvoasm", patched, "-o", game / "scenario" / source.with_suffix(".tvo").name,
                            "--codepage", "UTF-8"], check=True)
        env = (game / "tavelo.env").read_bytes().decode("cp932")
        env = env.replace("[EOF]", "CODEPAGE UTF-8\nTEXT_LAYOUT 1\n[EOF]")
        (game / "tavelo.env").write_bytes(env.encode("utf-8"))

        speech = pathlib.Path(temp) / "speech.txt"
        alt_r = pathlib.Path(temp) / "alt_r.txt"
        alt_r.write_text("0 key down Left Alt\n10 key R\n100 key up Left Alt\n")
        run = [BUILD / "tavelo", "--headless"]
        subprocess.run(run + ["--input", alt_r, "--speech-out", speech, game], check=True,
                       env={"TAVELO_CONFIG_HOME": str(pathlib.Path(temp) / "settings1")})
        times = []
        for line in speech.read_text(encoding="utf-8").splitlines():
            time, word, _ = (line + " ").split(" ", 2)
            if word == "stop" and (not times or int(time) > times[-1]):
                times.append(int(time))
        # The toggle, the voice, then the four story pages.
        story = times[2:6]
        names = ["english", "speaker", "mixed", "hyphenated"]
        shots = pathlib.Path(temp) / "shots.txt"
        images = ROOT / "docs" / "images"
        shots.write_text("".join(f"{t + 2000} screenshot {images / ('translation-' + n + '.png')}\n"
                                 for t, n in zip(story, names)))
        subprocess.run(run + ["--input", shots, game], check=True,
                       env={"TAVELO_CONFIG_HOME": str(pathlib.Path(temp) / "settings2")})
        for n in names:
            print(images / f"translation-{n}.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
