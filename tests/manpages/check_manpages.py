#!/usr/bin/env python3
"""Checks the manual pages against the programs they describe.

  check_manpages.py render PAGE
      man renders PAGE at 80 columns without a warning and without a wider line.
  check_manpages.py program PAGE VERSION PROGRAM [--help-args ARGS]... [--usage-args ARGS]...
                            [--listed-names] [--drop-option OPTION]
      PROGRAM --version prints "NAME VERSION" first; the options named in the help texts
      (every --help-args run, and the usage text every --usage-args run prints on a usage
      error) are exactly those in the page's SYNOPSIS, COMMANDS and OPTIONS; with
      --listed-names, so are the names the help lists under an option (models, parts).
      --drop-option removes an option from the page first, to show the check catches it.
"""
import argparse
import os
import re
import shlex
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-[a-zA-Z])(?![\w-])")
# A help line naming a value of an option under the option's text, such as
# "                        68k-v3   68k handheld, ..." (deeper than the text's own lines).
LISTED_NAME = re.compile(r"^ {24}([a-z0-9][a-z0-9-]*[a-z0-9]) +\S", re.M)
OPTION_SECTIONS = {"SYNOPSIS", "COMMANDS", "OPTIONS"}


def run(args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env, timeout=60)


def program_environment():
    """No display: the window programs must answer --help and --version without one."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    return env


def roff_text(line):
    line = re.sub(r"\\f[BIRP]", "", line)
    line = line.replace("\\&", "").replace("\\-", "-").replace("\\*(Aq", "'")
    return line.replace("\\(aq", "'").replace("\\\\", "\\")


def page_sections(page_path):
    """Section name -> list of text lines of the roff page."""
    sections, current = {}, None
    with open(page_path, encoding="utf-8") as page:
        for line in page:
            line = line.rstrip("\n")
            heading = re.match(r'\.SH\s+"?([^"]*)"?', line)
            if heading:
                current = heading.group(1).strip()
                sections[current] = []
            elif current is not None and not line.startswith("."):
                sections[current].append(roff_text(line))
            elif current is not None and line.startswith(".SS"):
                sections[current].append(roff_text(line[3:]))
    return sections


def page_options(sections):
    options = set()
    for name in OPTION_SECTIONS & sections.keys():
        options |= set(OPTION.findall("\n".join(sections[name])))
    return options


def page_listed_names(sections):
    """The values an option lists: entries of the OPTIONS section that are one bold word."""
    names = set()
    for line in sections.get("OPTIONS", []):
        if re.fullmatch(r"[a-z0-9][a-z0-9-]*[a-z0-9]", line.strip()):
            names.add(line.strip())
    return names


def render(page_path):
    env = dict(os.environ, MANWIDTH="80", MANPAGER="cat", PAGER="cat")
    result = run(["man", "--warnings", "-l", page_path], env)
    problems = []
    if result.returncode != 0:
        problems.append(f"man exited with {result.returncode}")
    if result.stderr.strip():
        problems.append("man warned:\n" + result.stderr)
    if not result.stdout.strip():
        problems.append("man printed nothing")
    # groff does not warn when an example overflows the page; such a line is cut or wrapped
    # on a terminal.
    for line in result.stdout.splitlines():
        if len(line) > 80:
            problems.append(f"wider than 80 columns: {line}")
    return problems


def check_version(program, version):
    name = os.path.basename(program)
    result = run([program, "--version"], program_environment())
    first = result.stdout.splitlines()[0] if result.stdout else ""
    if result.returncode != 0 or first != f"{name} {version}":
        return [f'{name} --version: exit {result.returncode}, first line "{first}", '
                f'expected "{name} {version}"']
    return []


def help_texts(program, help_args, usage_args, problems):
    texts = []
    for args in help_args:
        result = run([program] + shlex.split(args), program_environment())
        if result.returncode != 0 or not result.stdout.strip():
            problems.append(f"{program} {args}: exit {result.returncode}, "
                            f"{len(result.stdout)} bytes on the standard output")
        texts.append(result.stdout)
    for args in usage_args:
        result = run([program] + shlex.split(args), program_environment())
        if result.returncode != 2 or not result.stderr.strip():
            problems.append(f"{program} {args}: exit {result.returncode}, expected a usage "
                            "error (2) with its usage on the standard error")
        texts.append(result.stderr)
    return texts


def compare(what, in_help, in_page):
    problems = []
    if in_help - in_page:
        problems.append(f"{what} in --help but not in the page: {sorted(in_help - in_page)}")
    if in_page - in_help:
        problems.append(f"{what} in the page but not in --help: {sorted(in_page - in_help)}")
    return problems


def check_program(arguments):
    problems = check_version(arguments.program, arguments.version)
    texts = help_texts(arguments.program, arguments.help_args or ["--help"],
                       arguments.usage_args or [], problems)
    sections = page_sections(arguments.page)
    if arguments.drop_option:
        for name in sections:
            sections[name] = [re.sub(rf"(?<![\w-]){re.escape(arguments.drop_option)}(?![\w-])",
                                     "", line) for line in sections[name]]
    help_options = set()
    for text in texts:
        help_options |= set(OPTION.findall(text))
    problems += compare("options", help_options, page_options(sections))
    if arguments.listed_names:
        help_names = set()
        for text in texts:
            help_names |= set(LISTED_NAME.findall(text))
        problems += compare("listed names", help_names, page_listed_names(sections))
    return problems


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    render_parser = commands.add_parser("render")
    render_parser.add_argument("page")
    program_parser = commands.add_parser("program")
    program_parser.add_argument("page")
    program_parser.add_argument("version")
    program_parser.add_argument("program")
    program_parser.add_argument("--help-args", action="append")
    program_parser.add_argument("--usage-args", action="append")
    program_parser.add_argument("--listed-names", action="store_true")
    program_parser.add_argument("--drop-option")
    arguments = parser.parse_args()

    if arguments.command == "render":
        problems = render(arguments.page)
    else:
        problems = check_program(arguments)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
