#!/usr/bin/python3
"""The bash completion file loads in bash and completes what the program has: every command
and sub-command (found by walking corvanteer-cli's --help) from its first letters, no command
the program lacks, every option of a command after "--", and list and setting names read
from an application directory through the program itself.

Usage: check_completion.py CORVANTEER_CLI COMPLETION_FILE
"""

import os
import shlex
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_manpages import long_options, run_help, walk  # noqa: E402


def complete(completion, cases):
    """The completions bash offers for each case (a list of words, the last being completed)."""
    script = [f"source {shlex.quote(completion)}"]
    for words in cases:
        quoted = " ".join(shlex.quote(w) for w in words)
        script += [f"COMP_WORDS=({quoted}); COMP_CWORD={len(words) - 1}; COMPREPLY=()",
                   "_corvanteer_cli",
                   'printf "%s\\n" "${COMPREPLY[*]}"']
    result = subprocess.run(["bash", "--norc", "--noprofile", "-c", "\n".join(script)],
                            capture_output=True, text=True, check=False)
    if result.returncode != 0 or result.stderr:
        print(f"bash: status {result.returncode}: {result.stderr.strip()}")
        sys.exit(1)
    replies = result.stdout.split("\n")[:len(cases)]
    return [set(r.split()) for r in replies]


def main():
    cli, completion = sys.argv[1], sys.argv[2]
    commands = walk(cli)
    groups = {p[:-1] for p in commands} | {()}
    checks = []  # (description, words, test on the reply)
    for path in sorted(commands):
        word = path[-1]
        checks.append((f'"{" ".join(path)}" from "{word[:3]}"', [cli, *path[:-1], word[:3]],
                       lambda reply, word=word: word in reply))
        if commands[path]:
            options = commands[path]
            checks.append((f'options of "{" ".join(path)}"', [cli, *path, "--"],
                           lambda reply, options=options: options <= reply))
    for group in sorted(groups):
        names = {p[-1] for p in commands if p[:-1] == group}
        checks.append((f'exactly the commands of "{" ".join(group) or "corvanteer-cli"}"',
                       [cli, *group, ""], lambda reply, names=names: reply == names))
    global_options = long_options(run_help(cli, [])) | {"--version"}
    checks.append(("global options", [cli, "--"],
                   lambda reply: global_options <= reply))

    with tempfile.TemporaryDirectory() as home:
        for name in ("news", "sports"):
            subprocess.run([cli, "--home", home, "lists", "add", name], check=True,
                           capture_output=True)
        at_home = [cli, "--home", home]
        checks += [
            ("list names", [*at_home, "members", "show", ""],
             lambda reply: {"news", "sports"} <= reply),
            ("a list name from its first letter", [*at_home, "post", "s"],
             lambda reply: reply == {"sports"}),
            ("accounts", [*at_home, "oauth", "login", ""],
             lambda reply: {"smtp", "listserver", "news"} <= reply),
            ("a global setting", [*at_home, "config", "get", "SessionI"],
             lambda reply: reply == {"SessionInterval"}),
            ("a list's settings", [*at_home, "config", "set", "--list", "news", "Pop3P"],
             lambda reply: reply == {"Pop3Password", "Pop3Port"}),
            ("nothing after a command's last argument", [*at_home, "members", "show", "news", ""],
             lambda reply: reply == set()),
        ]
        replies = complete(completion, [words for _, words, _ in checks])

    problems = 0
    for (what, words, test), reply in zip(checks, replies):
        if not test(reply):
            problems += 1
            print(f"{what}: completing {words[1:]} gave {sorted(reply)}")
    print(f"{len(checks)} completions checked, {problems} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
