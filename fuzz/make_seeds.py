#!/usr/bin/env python3
"""Writes the seed corpus: fuzz/corpus/chat/*, fuzz/corpus/config/* and fuzz/corpus/notation/*.
Rerun after editing; the files are committed. Chat seeds follow the layout in
harness/chat_harness.h, notation seeds the one in harness/notation_harness.h."""
import pathlib

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"
D4, D6, D20, UNKNOWN = 1, 2, 6, 7
UPPER, UTF16, FAULT, NULL_PLAYER = 8, 16, 32, 64
GHOST = 9  # a player who left

CHAT = {
    "bare": (D6, 0, 0, ""),
    "space": (D6, 0, 0, " "),
    "three": (D6, 0, 0, " 3"),
    "letters": (D6, 0, 0, " abc"),
    "digits-then-letters": (D6, 0, 0, " 5abc"),
    "two-spaces": (D6, 0, 0, "  7"),
    "plus": (D6, 0, 0, " +4"),
    "minus": (D6, 0, 0, " -3"),
    "zero": (D6, 0, 0, " 0"),
    "one": (D6, 0, 0, " 1"),
    "hundred": (D20, 0, 0, " 100"),
    "hundred-one": (D6, 0, 0, " 101"),
    "int-max": (D6, 0, 0, " 2147483647"),
    "int-max-plus-one": (D6, 0, 0, " 2147483648"),
    "int-min": (D6, 0, 0, " -2147483648"),
    "eleven-digits": (D6, 0, 0, " 99999999999"),
    "two-numbers": (D6, 0, 0, " 3 4"),
    "tab": (D6, 0, 0, "\t5"),
    "hex": (D6, 0, 0, " 0x10"),
    "full-width-five": (D6, 0, 0, " \uff15"),
    "e-acute": (D6, 0, 0, " \u00e93"),
    "surrogate-pair": (D6, 0, 0, " \U0001f3b2 4"),
    "long-128": (D6, 0, 0, " 42" + "x" * 130),
    "long-spaces": (D6, 0, 0, " " * 200 + "9"),
    "upper": (D20 | UPPER, 0, 0, " 2"),
    "unknown-command": (UNKNOWN, 0, 0, " 3"),
    "null-player": (D6 | NULL_PLAYER, 0, 0, " 3"),
    "stale-speaker": (D6, GHOST, 0, " 3"),
}
for seat in range(9):
    CHAT[f"speaker-{seat}"] = (D6, seat, 0, " 2")
for code in list(range(8)) + [8, 16, 17, 18, 24]:
    CHAT[f"fault-{code}"] = (D6 | FAULT, 0, code, " 3" + "y" * (130 if code == 1 else 0))

# With SETTINGS, four more bytes follow the fault byte: option bits, MaxDice, the cooldown
# and how long ago the running cooldowns started (see harness/chat_harness.h).
SETTINGS = 128
PRIVATE, LOG_ROLLS, COOLDOWN, SPEAKER_WAITS, OTHERS_WAIT, TWICE, SECURE = 1, 2, 4, 8, 16, 32, 64
AUDIT = 128
LEAVING = 11  # a player mid-disconnect
BRACES, SURROGATE = 3, 6  # names: "{0} {:>9} }{", a lone surrogate
LINE_BREAKS = 12  # a name holding CR, LF, U+2028, U+0085 and DEL


def max_dice(n):
    return 100 - n


# name: (flags, seat, fault, option bits, MaxDice byte, cooldown byte, started byte, text)
SETTINGS_CHAT = {
    "private": (D6, 0, 0, PRIVATE, 0, 0, 0, " 3"),
    "private-upper": (D20 | UPPER, 0, 0, PRIVATE, 0, 0, 0, " 2"),
    "private-unknown": (UNKNOWN, 0, 0, PRIVATE, 0, 0, 0, " 3"),
    "private-null-player": (D6 | NULL_PLAYER, 0, 0, PRIVATE, 0, 0, 0, " 3"),
    "private-stale": (D6, GHOST, 0, PRIVATE, 0, 0, 0, " 3"),
    "private-leaving": (D6, LEAVING, 0, PRIVATE | LOG_ROLLS, 0, 0, 0, " 3"),
    "audit-private-leaving": (D6, LEAVING, 0, AUDIT | SECURE | PRIVATE, 0, 0, 0, " 3"),
    "audit-no-relay-cooldown": (D6 | FAULT, 0, 0x18, AUDIT | COOLDOWN, 0, 5, 0, " 3"),
    "public-leaving": (D6, LEAVING, 0, LOG_ROLLS, 0, 0, 0, " 3"),
    "log-braces": (D6, BRACES, 0, LOG_ROLLS, 0, 0, 0, " 3"),
    "log-private-surrogate": (D20, SURROGATE, 0, PRIVATE | LOG_ROLLS, 0, 0, 0, " 2"),
    "log-emoji": (D4, 5, 0, LOG_ROLLS, 0, 0, 0, ""),
    "log-line-breaks": (D6, LINE_BREAKS, 0, LOG_ROLLS, 0, 0, 0, " 3"),
    "log-private-line-breaks-audit": (D20, LINE_BREAKS, 0, PRIVATE | LOG_ROLLS | AUDIT, 0, 0, 0, " 2"),
    "log-long-name": (D20, 8, 0, LOG_ROLLS, 0, 0, 0, " 100"),
    "log-empty-relay": (D6 | FAULT, 0, 24, LOG_ROLLS, 0, 0, 0, " 3"),
    "log-no-memory": (D6 | FAULT, 0, 8, PRIVATE | LOG_ROLLS, 0, 0, 0, " 3"),
    "max-dice-1": (D6, 0, 0, 0, max_dice(1), 0, 0, " 500"),
    "max-dice-1-zero": (D6, 0, 0, 0, max_dice(1), 0, 0, " 0"),
    "max-dice-7": (D6, 0, 0, 0, max_dice(7), 0, 0, " 8"),
    "max-dice-100": (D20, 0, 0, 0, max_dice(100), 0, 0, " 500"),
    "cooldown-twice": (D6, 0, 0, COOLDOWN | TWICE | LOG_ROLLS, 0, 0, 0, " 3"),
    "cooldown-twice-private": (D6, 0, 0, COOLDOWN | TWICE | PRIVATE, 0, 0, 0, " 3"),
    "cooldown-twice-short": (D6, 0, 0, COOLDOWN | TWICE, 0, 255, 0, ""),
    "cooldown-off-twice": (D6, 0, 0, TWICE | LOG_ROLLS, 0, 0, 0, " 2"),
    "cooldown-waits": (D6, 0, 0, COOLDOWN | SPEAKER_WAITS | LOG_ROLLS, 0, 0, 0, " 3"),
    "cooldown-waits-half": (D6, 0, 0, COOLDOWN | SPEAKER_WAITS, 0, 0, 120, " 3"),
    "cooldown-last-second": (D6, 0, 0, COOLDOWN | SPEAKER_WAITS | TWICE, 0, 1, 239, " 3"),
    "cooldown-ran-out": (D6, 0, 0, COOLDOWN | SPEAKER_WAITS | TWICE, 0, 0, 240, " 3"),
    "cooldown-others-wait": (D6, 0, 0, COOLDOWN | OTHERS_WAIT | TWICE, 0, 0, 0, " 3"),
    "cooldown-everyone-waits": (D6, 2, 0, COOLDOWN | SPEAKER_WAITS | OTHERS_WAIT, 0, 0, 7, " 3"),
    "cooldown-leaving": (D6, LEAVING, 0, COOLDOWN | SPEAKER_WAITS | PRIVATE, 0, 0, 0, " 3"),
    "cooldown-stale": (D6, GHOST, 0, COOLDOWN | SPEAKER_WAITS, 0, 0, 0, " 3"),
    "cooldown-null-player": (D6 | NULL_PLAYER, 0, 0, COOLDOWN | TWICE, 0, 0, 0, " 3"),
    "cooldown-unknown": (UNKNOWN, 0, 0, COOLDOWN | TWICE, 0, 0, 0, " 3"),
    "cooldown-no-memory": (D6 | FAULT, 0, 8, COOLDOWN | SPEAKER_WAITS, 0, 0, 0, " 3"),
    "cooldown-empty-relay": (D6 | FAULT, 0, 24, COOLDOWN | TWICE, 0, 0, 0, " 3"),
    "cooldown-malloc-1": (D6 | FAULT, 0, 0, COOLDOWN | TWICE | PRIVATE, 0, 0, 0, " 3"),
    "all-on": (D20, 0, 0, 63, max_dice(20), 0, 0, " 500"),
    "secure": (D20, 0, 0, SECURE, 0, 0, 0, " 100"),
    "secure-private-logged": (D6, BRACES, 0, SECURE | PRIVATE | LOG_ROLLS, 0, 0, 0, " 3"),
    "secure-cooldown-twice": (D4, 0, 0, SECURE | COOLDOWN | TWICE, max_dice(7), 0, 0, " 9"),
    "secure-no-memory": (D6 | FAULT, 0, 8, SECURE | LOG_ROLLS, 0, 0, 0, " 3"),
    "secure-all-on": (D20, 0, 0, 127, max_dice(20), 0, 0, " 500"),
    "audit": (D20, 0, 0, AUDIT, 0, 0, 0, " 100"),
    "audit-private-logged": (D6, BRACES, 0, AUDIT | PRIVATE | LOG_ROLLS, 0, 0, 0, " 3"),
    "audit-twice-secure": (D4, SURROGATE, 0, AUDIT | SECURE | TWICE, max_dice(7), 0, 0, " 9"),
    "audit-no-memory": (D6 | FAULT, 0, 8, AUDIT | LOG_ROLLS, 0, 0, 0, " 3"),
    "audit-waits": (D20, 0, 0, AUDIT | COOLDOWN | SPEAKER_WAITS, 0, 0, 1, " 2"),
    "audit-all-on": (D20, 0, 0, 255, max_dice(20), 0, 0, " 500"),
}

UTF16_CHAT = {
    "utf16-nul": (D6 | UTF16, 0, 0, [0x20, 0x00, 0x35]),
    "utf16-lone-surrogate": (D6 | UTF16, 0, 0, [0x20, 0xD800, 0x37]),
    "utf16-high-digit": (D6 | UTF16, 0, 0, [0x20, 0x0135, 0x36]),  # low byte is '5'
}

CONFIG = {
    "valid": '{"SenderName": "GM"}',
    "default": '{\n  "SenderName": "Dice"\n}',
    "crlf": '{\r\n  "SenderName": "GM"\r\n}\r\n',
    "bom": '\ufeff{"SenderName": "GM"}',
    "comment-before": '// the label\n{"SenderName": "GM"}',
    "comment-inside": '{/* label */ "SenderName": "GM"}',
    "array": '["SenderName", "GM"]',
    "number": "42",
    "string": '"GM"',
    "null": "null",
    "empty": "",
    "whitespace": " \n\t\r ",
    "trailing-garbage": '{"SenderName": "GM"} garbage',
    "second-object": '{"SenderName": "A"}{"SenderName": "B"}',
    "duplicate-key": '{"SenderName": "A", "SenderName": "B"}',
    "other-case": '{"sendername": "GM"}',
    "missing": '{"Other": 1}',
    "name-empty": '{"SenderName": ""}',
    "name-brackets": '{"SenderName": "a] b"}',
    "name-braces": '{"SenderName": "{} {:>9}"}',
    "name-nul": '{"SenderName": "a\\u0000b"}',
    "name-escaped-pair": '{"SenderName": "\\ud83c\\udfb2"}',
    "name-lone-surrogate": '{"SenderName": "\\ud800"}',
    "name-utf8": '{"SenderName": "Zo\u00eb"}',
    "name-number": '{"SenderName": 7}',
    "name-true": '{"SenderName": true}',
    "name-null": '{"SenderName": null}',
    "name-array": '{"SenderName": ["GM"]}',
    "name-object": '{"SenderName": {"a": [1, 2, {"b": null}]}}',
    "number-overflow": '{"SenderName": "GM", "n": 1e999}',
    "big-integer": '{"SenderName": "GM", "n": 123456789012345678901234567890}',
    "deep": "[" * 2000 + "]" * 2000,
    "huge-string": '{"SenderName": "' + "A" * 8000 + '"}',
}
ALL_ON = ('"CooldownSeconds": 30, "PrivateCommands": true, "LogRolls": true, '
          '"MaxDice": 10, "RollCommand": true')
CONFIG.update({
    "settings-all-on": '{"SenderName": "GM", ' + ALL_ON + "}",
    "settings-without-name": "{" + ALL_ON + "}",
    "settings-defaults": '{"CooldownSeconds": 0, "PrivateCommands": false, "LogRolls": false, '
                         '"MaxDice": 100, "RollCommand": false}',
    "settings-reversed": '{"RollCommand": true, "MaxDice": 1, "LogRolls": true, '
                         '"PrivateCommands": true, "CooldownSeconds": 3600}',
    "settings-all-null": '{"CooldownSeconds": null, "PrivateCommands": null, "LogRolls": null, '
                         '"MaxDice": null, "RollCommand": null}',
    "settings-first-wrong": '{"SenderName": "GM", ' + ALL_ON.replace("30", "2.0") + "}",
    "settings-last-wrong": '{"SenderName": "GM", ' + ALL_ON.replace('"RollCommand": true', '"RollCommand": null') + "}",
    "settings-name-number": '{"SenderName": 5, ' + ALL_ON + "}",
    "settings-in-array": "[{" + ALL_ON + "}]",
    "settings-truncated": '{"SenderName": "GM", ' + ALL_ON,
    "settings-duplicate": '{"MaxDice": 5, "MaxDice": 7, "LogRolls": true, "LogRolls": 1}',
    "settings-other-case": '{"maxdice": 5, "LOGROLLS": true}',
    "cooldown-negative-zero": '{"CooldownSeconds": -0}',
    "cooldown-fraction": '{"CooldownSeconds": 2.0}',
    "cooldown-exponent": '{"CooldownSeconds": 1e1}',
    "cooldown-below": '{"CooldownSeconds": -1}',
    "cooldown-above": '{"CooldownSeconds": 3601}',
    "cooldown-wraps-32": '{"CooldownSeconds": 4294967356}',
    "cooldown-u64-max": '{"CooldownSeconds": 18446744073709551615}',
    "cooldown-past-64": '{"CooldownSeconds": 18446744073709551616}',
    "cooldown-digits-1e30": '{"CooldownSeconds": 1000000000000000000000000000000}',
    "cooldown-string": '{"CooldownSeconds": "60"}',
    "private-number": '{"PrivateCommands": 1}',
    "private-string": '{"PrivateCommands": "true"}',
    "log-rolls-array": '{"LogRolls": [true]}',
    "max-dice-zero": '{"MaxDice": 0}',
    "max-dice-above": '{"MaxDice": 101}',
    "max-dice-wraps-32": '{"MaxDice": 4294967297}',
    "max-dice-int64-min": '{"MaxDice": -9223372036854775808}',
    "max-dice-past-int64": '{"MaxDice": -9223372036854775809}',
    "max-dice-object": '{"MaxDice": {"n": 5}}',
    "roll-command-false": '{"RollCommand": false}',
    "roll-command-string": '{"RollCommand": "yes"}',
    "secure-rolls-on": '{"SecureRolls": true}',
    "secure-rolls-number": '{"SecureRolls": 1}',
    "audit-rolls-on": '{"AuditRolls": true}',
    "audit-rolls-string": '{"AuditRolls": "\\ud83c\\udfb2"}',
    "audit-file-on": '{"AuditRolls": true, "AuditFile": true}',
    "audit-file-alone": '{"AuditFile": true}',
    "audit-file-number": '{"AuditRolls": true, "AuditFile": 1}',
    "messages-german": '{"SenderName": "W\u00fcrfel", "Messages": {"Roll": "{name} w\u00fcrfelt '
                       '{count}W{sides}: {results}", "Wait": "Bitte noch {seconds} s warten"}}',
    "messages-not-object": '{"Messages": ["Roll"]}',
    "messages-every-refusal": '{"Messages": {"roll": "x", "Wait": "{x}", "Roll": "{name}{name}", '
                              '"AtEnd": "{", "CannotRoll": 5, "Notation": "}}}"}}',
    "messages-braces": '{"Messages": {"RollMany": "{{{total}}} }}{{", "AtCharacter": "{position}"}}',
    "messages-longest": '{"Messages": {"Wait": "{seconds}' + "\U0001f3b2" * 191 + '"}}',
    "messages-too-long": '{"Messages": {"Wait": "' + "x" * 201 + '"}}',
    "messages-duplicate": '{"Messages": {"Wait": "{x}", "Wait": "{seconds}", "W\u00e4it": ""}}',
    "messages-private": '{"Messages": {"Roll": "{name}: {results}", "PrivateRollMany": "{total}", '
                        '"PrivateRoll": "{x}"}}',
    "after-object-comma": '{"SenderName":"GM"}, "CooldownSeconds": 10 }',
    "after-object-pasted": '{\n  "SenderName": "Dice"\n}\n{\n  "SenderName": "GM",\n  '
                           '"MaxDice": 20\n}\n',
    "after-object-nested": '{"a": {"b": "}"}, "MaxDice": 5}\r\n  \t}',
})
RAW_CONFIG = {
    "invalid-utf8": b'{"SenderName": "\xff\xfe"}',
    "overlong-utf8": b'{"SenderName": "\xc0\xaf"}',
    "truncated-utf8": b'{"SenderName": "\xe2\x82"}',
    "nul-byte": b'{"SenderName": "G\x00M"}',
    "after-object-zeros": b'{"CooldownSeconds": 2.0}' + b"\x00" * 40 + b"x",
}

# Notation: (dice limit byte, flags byte, text); UTF8 marks text written as UTF-8.
UTF8 = 0x80
TAB, LOG, COOLDOWN, SECURE_ROLLS = 0x08, 0x10, 0x20, 0x40
AUDIT_ROLLS = 0x80  # in the dice limit byte
NAME_64, NAME_65, NAME_ZERO, NAME_SURROGATE = 3, 4, 5, 6
LIMIT_10, LIMIT_1 = 90, 99
NOTATION = {
    "blank": (0, UTF8, ""),
    "blanks": (0, UTF8, " \t "),
    "advantage": (0, UTF8, "2d20kh1+5"),
    "upper": (0, UTF8, "2D20KH + 05"),
    "percent": (0, UTF8, "d%"),
    "difference": (0, UTF8, "3d6-1d4"),
    "keep-low": (0, UTF8, "\t4d6kl3 - 2 "),
    "hundred-dice": (0, UTF8, "100d1000kh1"),
    "twenty-terms": (0, UTF8, "1+" * 19 + "1"),
    "twenty-one-terms": (0, UTF8, "1+" * 20 + "1"),
    "too-many-dice": (0, UTF8, "50d6+51d6"),
    "limit-ten": (LIMIT_10, UTF8, "5d6+6d6"),
    "limit-one": (LIMIT_1, UTF8, "2d6"),
    "count-edge": (0, UTF8, "101d6"),
    "sides-edge": (0, UTF8, "1d1001"),
    "keep-edge": (0, UTF8, "3d6kh4"),
    "number-edge": (0, UTF8, "100001"),
    "leading-zeros": (0, UTF8, "0" * 40 + "1d" + "0" * 40 + "6"),
    "huge-number": (0, UTF8, "1" + "0" * 30),
    "wrapping-sides": (0, UTF8, "1d4294967302"),
    "space-in-keep": (0, UTF8, "2d20 kh1"),
    "space-in-number": (0, UTF8, "1 0d6"),
    "space-before-d": (0, UTF8, "2 d6"),
    "trailing-sign": (0, UTF8, "2d6 +"),
    "leading-sign": (0, UTF8, "-1d6"),
    "no-sides": (0, UTF8, "2d"),
    "bad-sides": (0, UTF8, "2dx"),
    "bad-keep": (0, UTF8, "2d6kx"),
    "unexpected": (0, UTF8, "2d6*2"),
    "long-text": (0, UTF8, "x" * 60),
    "dice-emoji": (0, UTF8, "\U0001f3b2" * 45),
    "worst-line": (0, UTF8 | NAME_64, "100d1000kh1" + "-100000" * 19),
    "name-65": (0, UTF8 | NAME_65, "3d6"),
    "name-zero": (0, UTF8 | NAME_ZERO, "d20"),
    "name-surrogate": (0, UTF8 | NAME_SURROGATE, "d20"),
    "tab-logged": (0, UTF8 | TAB | LOG, "2d20kh1+5"),
    "logged-refusal": (0, UTF8 | LOG, "2d"),
    "logged-surrogate-name": (0, UTF8 | LOG | NAME_SURROGATE, "3d6-1d4"),
    "logged-worst-line": (0, UTF8 | LOG | NAME_64, "100d1000kh1" + "-100000" * 19),
    "cooldown-roll": (0, UTF8 | COOLDOWN, "3d6"),
    "cooldown-refusal": (LIMIT_10, UTF8 | COOLDOWN | TAB, "11d6"),
    "secure-advantage": (0, UTF8 | SECURE_ROLLS | LOG, "2d20kh1+5"),
    "secure-worst-line": (0, UTF8 | SECURE_ROLLS | NAME_64, "100d1000kh1" + "-100000" * 19),
    "secure-keep-low": (0, UTF8 | SECURE_ROLLS | COOLDOWN | NAME_SURROGATE, "4d6kl3-1d4+2"),
    "secure-refusal": (0, UTF8 | SECURE_ROLLS, "2d6*2"),
    "audit-advantage": (AUDIT_ROLLS, UTF8 | LOG, "2d20kh1+1d4+5"),
    "audit-twenty-groups": (AUDIT_ROLLS, UTF8 | NAME_64, "+".join(["5d1000kl2"] * 20)),
    "audit-zero-name": (AUDIT_ROLLS | LIMIT_10, UTF8 | NAME_ZERO | COOLDOWN, "3d6-1d4"),
    "audit-surrogate-name": (AUDIT_ROLLS, UTF8 | NAME_SURROGATE | SECURE_ROLLS, "d%"),
    "audit-refusal": (AUDIT_ROLLS, UTF8, "2d6*2"),
    "audit-empty-name": (0x9B, 0xD1, "d20"),
    "audit-numbers-only": (AUDIT_ROLLS, UTF8, "1166+5"),
    "explode": (0, UTF8, "4d6!"),
    "pool": (0, UTF8, "6d10f1>=8"),
    "reroll": (0, UTF8, "2d10r1"),
    "fudge": (0, UTF8, "4dF"),
    "drop": (0, UTF8, "4d6d1"),
    "label": (0, UTF8 | LOG, "1d20+5 # Perception"),
    "label-alone": (0, UTF8, "# Stealth"),
    "label-controls": (0, UTF8 | LOG, "d6 # a\nRollmoot: Roll: forged\r\x7f\u2028{total}"),
    "label-too-long": (0, UTF8, "d6 #" + "x" * 41),
    "compound": (0, UTF8, "3d6!!>4"),
    "penetrate-reroll": (0, UTF8, "5d6!pr1kh3"),
    "explode-success": (0, UTF8, "4d6!>4>5"),
    "fudge-reroll": (0, UTF8, "4dFr!"),
    "fudge-pool": (0, UTF8, "10dF>=1f<0ro"),
    "reroll-once-every-face": (0, UTF8, "3d6ro<7"),
    "explode-every-face": (0, UTF8, "3d6!>=1"),
    "reroll-every-face": (0, UTF8, "3d6r<7"),
    "repeated": (0, UTF8, "4d6kh1dl1"),
    "failure-alone": (0, UTF8, "4d6f1"),
    "drop-edge": (0, UTF8, "3d6dh4"),
    "compare-edge": (0, UTF8, "3d6>100001"),
    "number-missing": (0, UTF8, "3d6> # x"),
    "two-hundred": (0, UTF8 | NAME_64, "100d2!p2ro1kh100>=2f1 # " + "\U0001f3b2" * 40),
    "audit-two-hundred": (AUDIT_ROLLS, UTF8 | NAME_64, "50d2!2+50d2r1!!"),
    "audit-fudge-reroll": (AUDIT_ROLLS, UTF8 | LOG, "4dFr<1!p-2d6ro>=2"),
    "secure-explode": (0, UTF8 | SECURE_ROLLS, "20d4!>=3dl5>=4f1 # Attack"),
    "secure-compound": (0, UTF8 | SECURE_ROLLS | LOG, "10d10!!>=9r1"),
}
UTF16_NOTATION = {
    "utf16-advantage": (0, 0, [ord(c) for c in "2d20kh1"]),
    "utf16-lone-surrogate": (0, 0, [0xD800, 0x31, 0x64, 0x36]),
    "utf16-zero": (0, 0, [0x31, 0x64, 0x36, 0x00, 0x78]),
    "utf16-high-d": (0, 0, [0x32, 0x0164, 0x36]),  # low byte is 'd'
}


def write(folder, name, data):
    path = ROOT / folder / name
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


for name, (flags, seat, fault, text) in CHAT.items():
    write("chat", name, bytes([flags, seat, fault]) + text.encode("utf-8"))
for name, (flags, seat, fault, bits, dice, cooldown, started, text) in SETTINGS_CHAT.items():
    write("chat", "settings-" + name,
          bytes([flags | SETTINGS, seat, fault, bits, dice, cooldown, started]) + text.encode("utf-8"))
for name, (flags, seat, fault, units) in UTF16_CHAT.items():
    write("chat", name, bytes([flags, seat, fault]) + b"".join(u.to_bytes(2, "little") for u in units))
for name, (limit, who, text) in NOTATION.items():
    write("notation", name, bytes([limit, who]) + text.encode("utf-8"))
for name, (limit, who, units) in UTF16_NOTATION.items():
    write("notation", name, bytes([limit, who]) + b"".join(u.to_bytes(2, "little") for u in units))
for name, text in CONFIG.items():
    write("config", name, text.encode("utf-8"))
for name, data in RAW_CONFIG.items():
    write("config", name, data)
