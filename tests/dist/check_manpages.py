#!/usr/bin/python3
"""The manual pages match the program: every command of corvanteer-cli (found by walking its
--help) has a section in corvanteer-cli.1 naming each of its options, every section names a
real command, corvanteer-settings.5 has an entry for every setting `config show` names, the
pages carry the program's version and name the licence, and groff finds nothing to warn
about.

Usage: check_manpages.py CORVANTEER_CLI MAN_FOLDER (holding man1/ and man5/)
"""

import re
import subprocess
import sys
import tempfile


def run_help(cli, path):
    result = subprocess.run([cli, *path, "--help"], capture_output=True, text=True, check=True)
    return result.stdout


def help_entries(text, heading):
    """The first words of the lines under a heading such as "Subcommands:" or "Options:"."""
    words, inside = [], False
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            inside = line == heading
            continue
        match = re.match(r"^  (\S+)", line)
        if inside and match:
            words.append(match.group(1))
    return words


def long_options(text):
    found = set()
    for entry in help_entries(text, "Options:"):
        found.update(o for o in entry.split(",") if o.startswith("--") and o != "--help")
    return found


def walk(cli, path=()):
    """Every command path (tuple of words) with its own long options; groups included."""
    text = run_help(cli, list(path))
    commands = {path: long_options(text)} if path else {}
    for name in help_entries(text, "Subcommands:"):
        commands.update(walk(cli, path + (name,)))
    return commands


def plain(roff):
    text = roff.replace("\\-", "-")
    return re.sub(r"\\f[BIRP]", "", text)


def man_sections(page):
    """{command path: section text} of the .SS headings under COMMANDS, and the rest."""
    sections, current, rest = {}, None, []
    in_commands = False
    for line in plain(page).splitlines():
        if line.startswith(".SH"):
            in_commands = line.strip() == ".SH COMMANDS"
            current = None
        if in_commands and line.startswith(".SS"):
            heading = line[3:].strip().strip('"')
            words = []
            for word in heading.split():
                if not re.fullmatch(r"[a-z][a-z-]*", word):
                    break
                words.append(word)
            current = tuple(words)
            if current in sections:
                fail(f'two sections for "{" ".join(current)}"')
            sections[current] = heading + "\n"
        elif current is not None:
            sections[current] += line + "\n"
        else:
            rest.append(line)
    return sections, "\n".join(rest)


problems = []


def fail(message):
    problems.append(message)


def setting_names(cli):
    """The names `config show` prints, global and of a list, in a new application directory."""
    with tempfile.TemporaryDirectory() as home:
        run = [cli, "--home", home]
        subprocess.run([*run, "lists", "add", "news"], check=True, capture_output=True)
        names = set()
        for words in (["config", "show"], ["config", "show", "--list", "news"]):
            shown = subprocess.run([*run, *words], check=True, capture_output=True, text=True)
            names |= {line.split("=")[0] for line in shown.stdout.splitlines()}
        return names


def main():
    cli, man = sys.argv[1], sys.argv[2]
    man1 = f"{man}/man1"
    version = subprocess.run([cli, "--version"], capture_output=True, text=True,
                             check=True).stdout.split()[-1]
    commands = walk(cli)
    global_options = long_options(run_help(cli, [])) | {"--version"}

    for path in (f"{man1}/corvanteer-cli.1", f"{man1}/corvanteer.1",
                 f"{man}/man5/corvanteer-settings.5"):
        name = path.rsplit("/", 1)[1]
        with open(path, encoding="utf-8") as f:
            page = f.read()
        if f'"Corvanteer {version}"' not in page.splitlines()[0]:
            fail(f"{name}: the .TH line does not name version {version}")
        if "GNU General Public License" not in page or "version 3" not in page:
            fail(f"{name}: the licence (GPL version 3 or later) is not named")
        warnings = subprocess.run(["groff", "-man", "-ww", "-z", "-Tutf8", path],
                                  capture_output=True, text=True)
        if warnings.returncode != 0 or warnings.stderr:
            fail(f"{name}: groff says: {warnings.stderr.strip()}")

    with open(f"{man}/man5/corvanteer-settings.5", encoding="utf-8") as f:
        entries = set(re.findall(r"^\.B (\S+)$", f.read(), re.MULTILINE))
    for setting in sorted(setting_names(cli) - entries):
        fail(f"corvanteer-settings.5 has no entry for the setting {setting}")

    with open(f"{man1}/corvanteer-cli.1", encoding="utf-8") as f:
        sections, rest = man_sections(f.read())
    leaves = {p for p in commands if not any(q[:len(p)] == p and q != p for q in commands)}
    for path in sorted(leaves - sections.keys()):
        fail(f'corvanteer-cli.1 has no section for "{" ".join(path)}"')
    for path in sorted(sections.keys() - commands.keys()):
        fail(f'corvanteer-cli.1 describes "{" ".join(path)}", which is no command')
    for path, options in sorted(commands.items()):
        if path not in sections:
            continue
        for option in sorted(options):
            if not re.search(re.escape(option) + r"\b", sections[path]):
                fail(f'corvanteer-cli.1: "{" ".join(path)}" does not name its option {option}')
    for option in sorted(global_options):
        if option not in rest:
            fail(f"corvanteer-cli.1 does not name the option {option}")

    for problem in problems:
        print(problem)
    print(f"{len(commands)} commands checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
