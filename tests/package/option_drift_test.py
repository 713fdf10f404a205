#!/usr/bin/env python3
"""Holds the options of tarnwickiso --help, the manual page and the bash and
zsh completions against each other.

    option_drift_test.py PROGRAM MANUAL_PAGE BASH_COMPLETION ZSH_COMPLETION

Each source gives the commands, each command's options and the fixed values
of options that have them. An option or command found in one source and not
in another is printed with the sources that have it and those that lack it;
the exit status is then 1.

What counts in each source:
- --help: in "Commands:", a line starting with a command (up to the gap
  before its explanation) and the continuation lines that start with "-" or
  "["; in "Options of COMMAND:", the lines of that section.
  "--PREFIX-" in an item adds PREFIX to the options at the head of the item
  (the Joliet identifiers). "[COMMAND options]" takes that command's options.
- the manual page: under COMMANDS, each .SS line (its first word is the
  command) and the head lines of .TP items; a section "COMMAND OPTIONS" holds
  options of COMMAND.
- the completions: what they offer for "tarnwickiso " and "tarnwickiso CMD -"
  (bash, by running the completion function) and the _arguments
  specifications of each command (zsh, with _arguments replaced by a printer).
A short option and its long form ("-o, --output") are one option. --help,
-h and --version, which every command takes, are left out.
"""
import re
import subprocess
import sys
from collections import defaultdict

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")
VALUES = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)[ =]([\w.-]+(?:\|[\w.-]+)+)")
ALIAS = re.compile(r"(?<![\w-])(-[A-Za-z]), (--[A-Za-z][\w-]*)")
INHERIT = re.compile(r"\[(\w[\w-]*) options\]")
GENERAL = {"--help", "-h", "--version"}


class Source:
    def __init__(self, name):
        self.name = name
        self.commands = set()
        self.options = defaultdict(set)
        self.values = {}  # option -> tuple of values
        self.inherits = defaultdict(set)

    def resolve(self):
        for command, bases in self.inherits.items():
            for base in bases:
                self.options[command] |= self.options[base]


def options_in(text):
    return [o for o in OPTION.findall(text) if not o.endswith("-")]


def parse_help(text, aliases):
    source = Source("--help")
    section, command, head, heading_lines = None, None, [], False
    for line in text.splitlines():
        aliases.update({s: l for s, l in ALIAS.findall(line)})
        for option, values in VALUES.findall(line):
            source.values[option] = tuple(values.split("|"))
        heading = re.match(r"Options of (\S+):$", line)
        if line == "Commands:":
            section = "commands"
            continue
        if heading:
            section, command = "options", heading.group(1)
            continue
        if not line.startswith("  "):
            section = None
            continue
        if section == "commands":
            start = re.match(r"  ([a-z][\w-]*)\b", line)
            if start:
                command = start.group(1)
                source.commands.add(command)
                line = re.split(r"\s{2,}", line.strip(), maxsplit=1)[0]
            elif not re.match(r"\s+[-\[]", line):
                continue  # the explanation, which may name other programs' options
        elif section == "options":
            if re.match(r"  -", line):
                # A head that ends in a comma goes on in the next line.
                head = (head if heading_lines else []) + options_in(line)
                heading_lines = line.rstrip().endswith(",")
            elif not line.startswith("    "):
                continue
            else:
                heading_lines = False
                for prefix in re.findall(r"(?<![\w-])--([A-Za-z][\w-]*-)(?![\w-])", line):
                    source.options[command] |= {"--" + prefix + o[2:] for o in head if o.startswith("--")}
        else:
            continue
        source.options[command] |= set(options_in(line))
        source.inherits[command] |= set(INHERIT.findall(line))
    return source


def roff_args(rest):
    return [a if b == "" else b for a, b in re.findall(r'"((?:[^"]|"")*)"|(\S+)', rest)]


def roff_text(line):
    """The text a roff line shows, fonts dropped."""
    macro = re.match(r"\.(B|I|SM|BI|BR|IB|IR|RB|RI|SS|SH|TP|PP)\b\s*(.*)", line)
    if macro:
        args = roff_args(macro.group(2))
        line = ("" if macro.group(1) in ("BI", "BR", "IB", "IR", "RB", "RI") else " ").join(args)
    line = re.sub(r"\\f(\(..|\[[^]]*\]|.)", "", line)
    return line.replace("\\-", "-").replace("\\&", "").replace("\\e", "\\").replace("\\(dq", '"')


def parse_manual(text, aliases):
    source = Source("manual page")
    lines = text.splitlines()
    command, in_commands = None, False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            title = roff_text(line).strip()
            in_commands = title == "COMMANDS"
            owner = re.match(r"(\S+) OPTIONS$", title)
            command = owner.group(1).lower() if owner else None
            continue
        if line.startswith(".SS") and in_commands:
            shown = roff_text(line).strip()
            command = shown.split()[0]
            source.commands.add(command)
            source.options[command] |= set(options_in(shown))
            source.inherits[command] |= set(INHERIT.findall(shown))
            continue
        if command and i > 0 and lines[i - 1].startswith(".TP"):
            shown = roff_text(line)
            aliases.update({s: l for s, l in ALIAS.findall(shown)})
            source.options[command] |= set(options_in(shown))
            for option, values in VALUES.findall(shown):
                source.values[option] = tuple(values.split("|"))
    return source


def bash_lines(script, completion):
    run = subprocess.run(["bash", "--norc", "--noprofile", "-c", 'source "$1"\n' + script, "bash", completion],
                         capture_output=True, text=True, check=True)
    return run.stdout


BASH_ASK = r'''
ask() { COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _tarnwickiso; echo "${COMPREPLY[*]}"; }
'''


def parse_bash(completion, commands, values):
    source = Source("bash completion")
    source.commands = set(bash_lines(BASH_ASK + 'ask tarnwickiso ""', completion).split()) - GENERAL
    names = sorted(source.commands | commands)
    asked = "".join(f'ask tarnwickiso {c} -\n' for c in names)
    for command, line in zip(names, bash_lines(BASH_ASK + asked, completion).splitlines()):
        if command in source.commands:
            source.options[command] = set(line.split())
    # The values of each option with a fixed set, asked of a command that has it.
    asks = []
    for option in sorted(values):
        for command in sorted(source.commands):
            if option in source.options[command]:
                asks.append((option, f'ask tarnwickiso {command} {option} ""\n'))
                break
    answers = bash_lines(BASH_ASK + "".join(a for _, a in asks), completion).splitlines()
    for (option, _), line in zip(asks, answers):
        source.values[option] = tuple(line.split())
    return source


ZSH_ASK = r'''
fpath=("$1" $fpath)
autoload -Uz _tarnwickiso
_arguments() { while [[ $# -gt 0 && $1 != : ]]; do shift; done; shift; print -rl -- "$@" }
_describe() { print -rl -- ${(P)4} }
compadd() { : }
'''


def parse_zsh(completion, commands):
    import os
    source = Source("zsh completion")
    folder = os.path.dirname(os.path.abspath(completion))
    if os.path.basename(completion) != "_tarnwickiso":
        raise SystemExit("the zsh completion must be named _tarnwickiso")

    def zsh(script):
        return subprocess.run(["zsh", "-f", "-c", ZSH_ASK + script, "zsh", folder],
                              capture_output=True, text=True, check=True).stdout

    for entry in zsh('words=(tarnwickiso ""); CURRENT=2; _tarnwickiso').splitlines():
        name = entry.split(":", 1)[0]
        if name not in GENERAL:
            source.commands.add(name)
    for command in sorted(source.commands | commands):
        output = zsh(f'words=(tarnwickiso {command} ""); CURRENT=3; _tarnwickiso || true')
        for spec in output.splitlines():
            spec = re.sub(r"^\*?(\([^)]*\))?\*?", "", spec)
            name = re.match(r"(--?[A-Za-z][\w-]*?)(=-|=|\+|-)?(\[|:|$)", spec)
            if not name:
                continue
            source.options[command].add(name.group(1))
            choice = re.search(r":[^:]*:\(([^)]*)\)$", spec)
            if choice:
                source.values[name.group(1)] = tuple(choice.group(1).split())
    return source


def main():
    if len(sys.argv) != 5:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    program, manual, bash, zsh = sys.argv[1:]
    aliases = {}
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
    found = [parse_help(help_text, aliases), parse_manual(open(manual, encoding="utf-8").read(), aliases)]
    commands = found[0].commands | found[1].commands
    values = {**found[0].values, **found[1].values}
    found += [parse_bash(bash, commands, values), parse_zsh(zsh, commands)]

    problems = []

    def compare(what, having):
        names = set().union(*having.values())
        for item in sorted(names):
            have = [s for s in having if item in having[s]]
            lack = [s for s in having if item not in having[s]]
            if lack:
                problems.append(f"{what(item)}: in {', '.join(have)}; missing from {', '.join(lack)}")

    for source in found:
        source.resolve()
        for command in source.options:
            source.options[command] = {aliases.get(o, o) for o in source.options[command]} - GENERAL
    compare(lambda c: f"command {c}", {s.name: s.commands for s in found})
    for command in sorted(set().union(*(s.commands for s in found))):
        compare(lambda o: f"{command} {o}",
                {s.name: s.options[command] for s in found if command in s.commands})
    for option in sorted(values):
        # The completions must offer the set that --help or the page shows.
        lists = {s.name: s.values.get(option, ()) for s in found
                 if option in s.values or s.name.endswith("completion")}
        shown = {tuple(sorted(v)) for v in lists.values()}
        if len(shown) > 1:
            problems.append(f"values of {option}: " + "; ".join(f"{n}: {'|'.join(v) or '(none)'}"
                                                               for n, v in lists.items()))
    for source in found:
        print(f"{source.name}: {len(source.commands)} commands, "
              f"{sum(len(o) for c, o in source.options.items() if c in source.commands)} options of commands")
    for problem in problems:
        print(problem)
    print(f"{len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
