"""One statement per line: no statements joined by the comma operator.

A chain such as `a.clear(), b.clear();` packs what are statements of their own
onto one line; it reads as one step and hides the others from a reader, a
debugger and the count of lines. The comma of a for-header, of a call's
arguments, of a declaration (`int a, b;`) or of a braced list is no operator
here and is left alone. The compiler's own -Wcomma (clang, which `make lint`
turns on) sees the same; this check needs no build.

Usage: python3 test_comma_statements.py [ROOT]   (ROOT: the tree; src/ and tests/ are read)
"""

import pathlib
import re
import sys
import unittest

SUFFIXES = {".h", ".cpp"}
# A statement's part before its first comma that is an expression of its own:
# a call, an assignment or an increment of a plain name or member chain,
# optionally returned. A declaration (a type, then a name) does not match.
NAME = r"[A-Za-z_][\w.:\[\]]*(?:->[\w.:\[\]]+)*"
EXPRESSION = re.compile(
    rf"^(?:return\s+)?(?:(?:\+\+|--){NAME}|\*?{NAME}\s*(?:\(|(?:[-+*/%&|^]|<<|>>)?=(?!=)|\+\+|--))")
# The heads of a statement that is not a block: `if (...)`, `else`, a label.
HEAD = re.compile(r"^(?:else\b|do\b|(?:case\b[^:]*|default)\s*:(?!:)|(?:if|for|while|switch)\s*\()\s*")
# What a `{` that opens a block (not a braced list) follows.
BLOCK_OPENERS = re.compile(r"(?:[)\];:{}]|\b(?:else|do|try|const|noexcept|mutable|override|final))\s*$")
# Inside parentheses only a lambda's body is a block.
LAMBDA_BODY = re.compile(r"(?:[)\]]|\b(?:mutable|noexcept))\s*$")
# Parentheses that group an operand rather than hold arguments or a condition.
GROUP_OPENERS = re.compile(r"(?:[?=]|[^:]:|\breturn)\s*$")


def blank(source):
    """The source with comments, string and character literals and
    preprocessor lines replaced by blanks; lines stay where they were."""
    out = []
    i, n = 0, len(source)
    line_start = True
    while i < n:
        c = source[i]
        if line_start and c == "#":
            j = i
            while j < n and (source[j] != "\n" or source[j - 1] == "\\"):
                j += 1
            out.append(re.sub(r"[^\n]", " ", source[i:j]))
            i = j
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if source.startswith("//", i):
            j = source.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif source.startswith("/*", i):
            j = source.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", source[i:j]))
            i = j
        elif c == "R" and source.startswith('R"', i) and not (i and (source[i - 1].isalnum() or source[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', source[i:])
            end = source.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + re.sub(r"[^\n]", " ", source[i + 2:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i and source[i - 1].isalnum() and i + 1 < n and source[i + 1].isalnum():
                out.append(" ")  # a digit separator: 1'000
                i += 1
                continue
            j = i + 1
            while j < n and source[j] != c and source[j] != "\n":
                j += 2 if source[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def without_heads(statement):
    """The statement without the control heads it begins with."""
    while True:
        m = HEAD.match(statement)
        if not m:
            return statement
        rest = statement[m.end():]
        if m.group(0).rstrip().endswith("("):
            depth = 1
            for k, c in enumerate(rest):
                depth += {"(": 1, ")": -1}.get(c, 0)
                if depth == 0:
                    rest = rest[k + 1:]
                    break
            else:
                return statement
        statement = rest.lstrip()


def comma_statements(text):
    """Line numbers of the statements in text joined by the comma operator."""
    code = blank(text)
    found = []
    # Each open bracket, with whether commas directly inside it join
    # statements (a block's braces; the parentheses that group the operand of
    # `?:`, `=` or `return`) and where its current statement starts.
    stack = []
    for i, c in enumerate(code):
        before = code[max(0, i - 40):i]
        if c == "(":
            stack.append([c, bool(GROUP_OPENERS.search(before)), i + 1])
        elif c == "[":
            stack.append([c, False, i + 1])
        elif c == "{":
            inside_call = bool(stack) and stack[-1][0] in "(["
            block = (LAMBDA_BODY if inside_call else BLOCK_OPENERS).search(before)
            stack.append([c, bool(block), i + 1])
        elif c in ")]}":
            if stack:
                stack.pop()
            if c == "}" and stack:
                stack[-1][2] = i + 1
        elif c == ";" and stack:
            stack[-1][2] = i + 1
        elif c == "," and stack and stack[-1][1]:
            statement = without_heads(code[stack[-1][2]:i].strip())
            if EXPRESSION.match(statement):
                line = code.count("\n", 0, i) + 1
                if not found or found[-1] != line:
                    found.append(line)
            # Later commas of the same statement are not counted again.
            stack[-1][2] = len(code)
    return found


def violations(root):
    found = []
    for top in ("src", "tests"):
        for path in sorted((root / top).rglob("*")):
            if path.is_file() and path.suffix in SUFFIXES:
                for line in comma_statements(path.read_text(errors="replace")):
                    found.append(f"{path.relative_to(root)}:{line}: statements joined by the comma operator")
    return found


class CommaStatementsTest(unittest.TestCase):
    root = pathlib.Path(__file__).resolve().parents[2]

    def test_no_statements_joined_by_commas(self):
        found = violations(self.root)
        self.assertEqual(found, [], "\n" + "\n".join(found))

    def test_the_check_sees_a_chain_and_nothing_else(self):
        # Guards the guard: the chains are found, what only looks like them is not.
        source = """
            void F() {
              a.clear(), b.clear();
              x = 1, y = 2;
              ++n, --m;
              return g(), h();
            }
            void H(int id) {
              if (id == 0) a = 0, b = 1;
              else if (Ready(id))
                c(), d();
              for (auto& p : list) p.a = 1, p.b = 2;
              if (Ready(a, b)) Go(a, b);
            }
            void G(int p, int q) {
              int a = 1, b = 2;
              std::map<int, int> m;
              for (int i = 0, j = 9; i < j; ++i, --j) Call(i, j);
              auto v = std::vector<int>{Size(a), Size(b)};
              Expect({F(1), F(2)});
              Run([&] { Do(1); });
              const char* s = "a(), b()";  // c(), d();
              std::string a_, b_;
              std::tie(p, q) = Pair();
              for (const auto& r : {Rule(1, 2), Rule(3, 4)}) Use(r);
              it = ready ? (Add(*it), Erase(it)) : Next(it);
              const bool same = (Pick(p, q) == Pick(q, p));
            }
            enum class E { A, B };
            struct S : Base {
              S() : a_(1), b_(2) {}
              int a_, b_;
            };
        """
        self.assertEqual(comma_statements(source), [3, 4, 5, 6, 9, 11, 12, 26])


if __name__ == "__main__":
    if len(sys.argv) > 1:
        CommaStatementsTest.root = pathlib.Path(sys.argv.pop(1))
    unittest.main()
