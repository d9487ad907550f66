// The roll audit's verifier for the browser: the same reading, verdicts and wording as
// scripts/verify-rolls.py (whose docstring says what counts as a line the plugin wrote), with
// the browser's own SHA-256 and HMAC-SHA256. tests/verifier/cases holds the inputs both are
// checked on: change the two together.
"use strict";

const RollAudit = (() => {
  const MARKER = "Rollmoot: Roll audit: ";
  const LOGGER = "[Rollmoot][";
  const AUDIT_LINE = "info] " + MARKER;
  const UNLOADED = "info] Rollmoot: Plugin unloaded";
  // The console server's own events, which quote what players typed and their names.
  const CONSOLE_EVENT = /^(?:(?:host|error|stats): |\[[\s\S]*\] -> #[0-9]+ )/;
  const JSON_LOG_HEAD = '{"event":"log","text":';
  const JSON_LOG_TAIL = "}";
  const STAMP = /^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z /;
  const STAMP_SIZE = 21;
  const LOG_STAMP = /^[0-9]{2}\/[0-9]{2}\/[0-9]{2} [0-9]{2}:[0-9]{2}/;
  const COMMITMENT = /^commitment ([0-9a-f]{64})$/;
  const REVEAL = /^key ([0-9a-f]{64}) after (0|[1-9][0-9]{0,8}) rolls$/;
  const HEX4 = /^[0-9a-fA-F]{4}$/;
  const MIN_SIDES = 2, MAX_SIDES = 1000, MAX_VALUES = 200, MAX_GROUPS = 20;

  class Malformed extends Error {}
  const record = "not a record the plugin writes";

  // The stream of a key: block j is HMAC-SHA256(key, j as 8 bytes big-endian), each block
  // eight big-endian 32-bit words, used in order across the key's rolls.
  class Stream {
    constructor(key) {
      this.key = key;
      this.block = 0;
      this.words = new Uint32Array(0);
      this.used = 0;
    }
    async next() {
      if (this.used === this.words.length) {
        const index = new Uint8Array(8);
        new DataView(index.buffer).setBigUint64(0, BigInt(this.block++));
        const mac = new DataView(await crypto.subtle.sign("HMAC", this.key, index));
        this.words = Uint32Array.from({ length: 8 }, (_, k) => mac.getUint32(4 * k));
        this.used = 0;
      }
      return this.words[this.used++];
    }
  }

  // p = w * S as a 64-bit product: the value is p >> 32, plus 1, unless p mod 2^32 is below
  // (2^32 - S) mod S, when the word is used up and the next one tried.
  async function draw(stream, sides) {
    const s = BigInt(sides);
    const threshold = (2n ** 32n - s) % s;
    for (;;) {
      const product = BigInt(await stream.next()) * s;
      if ((product & 0xffffffffn) >= threshold) return Number(product >> 32n) + 1;
    }
  }

  function digits(text, at, most) {
    let end = at;
    while (end < text.length && text[end] >= "0" && text[end] <= "9") end++;
    if (end === at || (text[at] === "0" && end - at > 1)) throw new Malformed(record);
    return [end - at <= most ? Number(text.slice(at, end)) : null, end];
  }

  // Scanned by hand, as the script does, so that no input costs more than one pass.
  function jsonString(text, at) {
    let end = at + 1;
    for (;;) {
      if (end >= text.length) throw new Malformed(record);
      const c = text[end];
      if (c === '"') break;
      if (c === "\\") {
        const escape = text.slice(end + 1, end + 2);
        if (escape && '"\\/bfnrt'.includes(escape)) end += 2;
        else if (escape === "u" && HEX4.test(text.slice(end + 2, end + 6))) end += 6;
        else throw new Malformed(record);
      } else if (c.charCodeAt(0) < 0x20) {
        throw new Malformed(record);
      } else {
        end++;
      }
    }
    return [JSON.parse(text.slice(at, end + 1)), end + 1];
  }

  function parseRecord(text) {
    let [n, at] = digits(text, 1, 9);
    if (n === null || text.slice(at, at + 1) !== " ") throw new Malformed(record);
    at++;
    let name;
    if (text.startsWith("null", at)) {
      name = null;
      at += 4;
    } else if (text.startsWith('"', at)) {
      [name, at] = jsonString(text, at);
    } else {
      throw new Malformed(`record #${n}: the name is neither a JSON string nor null`);
    }
    const groups = [];
    let values = 0;
    while (at < text.length) {
      if (!text.startsWith(" d", at)) throw new Malformed(`record #${n}: ${record}`);
      if (groups.length === MAX_GROUPS) {
        throw new Malformed(`record #${n}: more than ${MAX_GROUPS} groups, more than one roll has`);
      }
      let sides;
      [sides, at] = digits(text, at + 2, 4);
      if (sides === null || sides < MIN_SIDES || sides > MAX_SIDES) {
        throw new Malformed(`record #${n}: a die the plugin cannot roll ` +
                            `(sides must be ${MIN_SIDES} to ${MAX_SIDES})`);
      }
      const dice = [];
      let separator = ":";
      while (text.slice(at, at + 1) === separator) {
        if (values === MAX_VALUES) {
          throw new Malformed(`record #${n}: more than ${MAX_VALUES} dice, more than one roll draws`);
        }
        let value;
        [value, at] = digits(text, at + 1, 4);
        if (value === null || value < 1 || value > sides) {
          throw new Malformed(`record #${n}: die ${dice.length + 1} of d${sides} is outside 1 to ${sides}`);
        }
        dice.push(value);
        values++;
        separator = ",";
      }
      if (!dice.length) throw new Malformed(`record #${n}: ${record}`);
      groups.push([sides, dice]);
    }
    if (!groups.length) throw new Malformed(`record #${n}: no dice`);
    return { n, name, groups };
  }

  function parseAudit(text) {
    if (text.startsWith("commitment")) {
      const found = COMMITMENT.exec(text);
      if (!found) throw new Malformed("not a commitment the plugin writes");
      return { kind: "commitment", hex: found[1] };
    }
    if (text.startsWith("key")) {
      const found = REVEAL.exec(text);
      if (!found) throw new Malformed("not a key reveal the plugin writes");
      return { kind: "reveal", hex: found[1], served: Number(found[2]) };
    }
    if (text.startsWith("#")) return { kind: "record", ...parseRecord(text) };
    return null;
  }

  // [what a log line says for the audit ("unloaded" or the text after the marker), its time],
  // or [null, ""] when the plugin's logger did not write it.
  function logText(line) {
    if (line.startsWith("{")) {
      if (!line.startsWith(JSON_LOG_HEAD + '"')) return [null, ""];
      let text, end;
      try {
        [text, end] = jsonString(line, JSON_LOG_HEAD.length);
      } catch (error) {
        if (error instanceof Malformed) return [null, ""];
        throw error;
      }
      if (line.slice(end) !== JSON_LOG_TAIL) return [null, ""];
      line = text;
    }
    const at = line.indexOf(LOGGER);
    if (at < 0 || CONSOLE_EVENT.test(line.slice(0, at))) return [null, ""];
    const rest = line.slice(at + LOGGER.length);
    const stamp = LOG_STAMP.exec(line);
    const time = stamp ? stamp[0] : "";
    if (rest === UNLOADED) return ["unloaded", time];
    if (rest.startsWith(AUDIT_LINE)) return [rest.slice(AUDIT_LINE.length), time];
    return [null, ""];
  }

  function splitLines(bytes) {
    const lines = [];
    let start = 0;
    for (let i = 0; i < bytes.length; i++) {
      if (bytes[i] === 0x0a) {
        lines.push(bytes.subarray(start, i));
        start = i + 1;
      }
    }
    if (start < bytes.length) lines.push(bytes.subarray(start));
    return lines;
  }

  function decode(sources) {
    const decoder = new TextDecoder("utf-8", { fatal: true, ignoreBOM: true });
    return sources.map(({ name, bytes }) => {
      const lines = splitLines(bytes).map((raw, i) => {
        try {
          return decoder.decode(raw);
        } catch {
          const utf16 = bytes.length >= 2 && ((bytes[0] === 0xff && bytes[1] === 0xfe) ||
                                              (bytes[0] === 0xfe && bytes[1] === 0xff));
          throw new Malformed(`${name}:${i + 1}: not UTF-8${utf16 ? " (a UTF-16 copy?)" : ""}`);
        }
      });
      return { name, lines };
    });
  }

  const hex = (bytes) => Array.from(new Uint8Array(bytes), (b) => b.toString(16).padStart(2, "0")).join("");
  const fromHex = (text) => Uint8Array.from(text.match(/../g), (pair) => parseInt(pair, 16));

  // sources: [{name, bytes: Uint8Array}], in reading order. Resolves to {status, report,
  // verified}: status 0 or 1 as the script exits, report its lines, verified the rolls of
  // revealed keys as {where, time, n, name, groups}.
  async function verify(sources) {
    try {
      sources = decode(sources);
    } catch (error) {
      if (error instanceof Malformed) return { status: 1, report: [`FAILED: ${error.message}`], verified: [] };
      throw error;
    }
    const failures = [];  // the first one given wins among equal orders
    const fail = (order, where, why) => failures.push({ order, where, why });
    let openKey = null;
    let closed = null;
    const unrevealed = [];
    const verified = [];
    let found = false;
    let rolls = 0, dice = 0, keys = 0, order = 0;
    const supersede = () => fail(openKey.order, openKey.where,
      `key committed here was never revealed (${openKey.records.length} rolls cannot be checked)`);

    for (const { name: source, lines } of sources) {
      const auditFile = lines.length > 0 && STAMP.test(lines[0]);
      for (let number = 1; number <= lines.length; number++) {
        let line = lines[number - 1];
        order++;
        const where = `${source}:${number}`;
        if (line.endsWith("\r")) line = line.slice(0, -1);
        let time = "", text;
        if (auditFile) {
          if (line === "") continue;
          if (!STAMP.test(line)) {
            fail(order, where, "not a line of a roll audit file");
            continue;
          }
          time = line.slice(0, STAMP_SIZE - 1);
          text = line.slice(STAMP_SIZE);
        } else {
          [text, time] = logText(line);
          if (text === null) continue;
          if (text === "unloaded") {
            if (openKey !== null) {
              supersede();
              openKey = null;
              closed = "superseded";
            }
            continue;
          }
        }
        let entry;
        try {
          entry = parseAudit(text);
          if (entry === null && auditFile) throw new Malformed("not a line of a roll audit file");
        } catch (error) {
          if (!(error instanceof Malformed)) throw error;
          fail(order, where, error.message);
          found = true;
          continue;
        }
        if (entry === null) continue;
        found = true;
        if (entry.kind === "commitment") {
          if (openKey !== null) supersede();
          openKey = { commitment: entry.hex, order, where, records: [] };
        } else if (entry.kind === "record") {
          if (openKey === null) {
            const why = closed === "revealed"
              ? "after its key was revealed: anyone can compute it once the key is out"
              : "with no commitment before it";
            fail(order, where, `record #${entry.n} ${why}`);
            continue;
          }
          const due = openKey.records.length + 1;
          if (entry.n !== due) {
            fail(order, where, `record #${entry.n} where #${due} was due: a record line is missing or extra`);
          }
          openKey.records.push({ order, where, time, n: entry.n, name: entry.name, groups: entry.groups });
        } else {
          if (openKey === null) {
            fail(order, where, "a key revealed with no commitment before it");
            continue;
          }
          const key = fromHex(entry.hex);
          if (hex(await crypto.subtle.digest("SHA-256", key)) !== openKey.commitment) {
            fail(order, where, `the key does not match its commitment ${openKey.commitment} (${openKey.where})`);
          } else {
            if (entry.served !== openKey.records.length) {
              fail(order, where, `the key served ${entry.served} rolls but ${openKey.records.length} ` +
                                 "are recorded: a record line is missing or extra");
            }
            const stream = new Stream(await crypto.subtle.importKey(
              "raw", key, { name: "HMAC", hash: "SHA-256" }, false, ["sign"]));
            for (const r of openKey.records) {
              for (const [sides, values] of r.groups) {
                for (let index = 1; index <= values.length; index++) {
                  const given = await draw(stream, sides);
                  if (values[index - 1] !== given) {
                    fail(r.order, r.where, `record #${r.n}: die ${index} of d${sides} is ` +
                                           `${values[index - 1]}, the key gives ${given}`);
                  }
                }
              }
              verified.push({ where: r.where, time: r.time, n: r.n, name: r.name, groups: r.groups });
              dice += r.groups.reduce((sum, [, values]) => sum + values.length, 0);
            }
            rolls += openKey.records.length;
            keys++;
          }
          openKey = null;
          closed = "revealed";
        }
      }
    }
    if (openKey !== null) unrevealed.push(openKey);
    if (failures.length) {
      const first = failures.reduce((a, b) => (b.order < a.order ? b : a));
      return { status: 1, report: [`FAILED: ${first.where}: ${first.why}`], verified: [] };
    }
    if (!found) return { status: 1, report: ["no roll audit found"], verified: [] };
    const report = [`verified: ${rolls} rolls, ${dice} dice, ${keys} keys`];
    for (const k of unrevealed) {
      report.push(`not yet verifiable: ${k.records.length} rolls under commitment ${k.commitment}, awaiting its reveal`);
    }
    return { status: 0, report, verified };
  }

  return { verify };
})();
