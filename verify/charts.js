// How often each face came up, per die size, against what a fair die gives: an SVG bar chart,
// the chi-square test in plain words and a table of the same numbers. Names never reach this
// file; everything is built with DOM calls, never as HTML text.
"use strict";

const DiceCharts = (() => {
  const SVG = "http://www.w3.org/2000/svg";
  // Below this many rolls per face the chi-square test says little, so the page says so.
  const FEWEST_PER_FACE = 5;
  const UNLIKELY_BELOW = 0.01;

  // counts[sides] = Array(sides) of how often each face came up, over every verified roll.
  function faceCounts(verified) {
    const counts = new Map();
    for (const roll of verified) {
      for (const [sides, values] of roll.groups) {
        if (!counts.has(sides)) counts.set(sides, new Array(sides).fill(0));
        const faces = counts.get(sides);
        for (const value of values) faces[value - 1]++;
      }
    }
    return new Map([...counts].sort((a, b) => a[0] - b[0]));
  }

  // ln Γ(x), Lanczos (g = 7, n = 9): good to about 15 digits for x > 0.
  const LANCZOS = [0.99999999999980993, 676.5203681218851, -1259.1392167224028,
    771.32342877765313, -176.61502916214059, 12.507343278686905, -0.13857109526572012,
    9.9843695780195716e-6, 1.5056327351493116e-7];
  function logGamma(x) {
    if (x < 0.5) return Math.log(Math.PI / Math.sin(Math.PI * x)) - logGamma(1 - x);
    x -= 1;
    let a = LANCZOS[0];
    const t = x + 7.5;
    for (let i = 1; i < 9; i++) a += LANCZOS[i] / (x + i);
    return 0.5 * Math.log(2 * Math.PI) + (x + 0.5) * Math.log(t) - t + Math.log(a);
  }

  // Q(a, x), the regularised upper incomplete gamma function: a series below a + 1, a
  // continued fraction above (both converge fast there).
  function upperGamma(a, x) {
    if (x <= 0) return 1;
    const front = Math.exp(-x + a * Math.log(x) - logGamma(a));
    if (x < a + 1) {
      let term = 1 / a, sum = term;
      for (let n = 1; n < 10000 && Math.abs(term) > Math.abs(sum) * 1e-15; n++) {
        term *= x / (a + n);
        sum += term;
      }
      return Math.max(0, 1 - sum * front);
    }
    const tiny = 1e-300;
    let b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
    for (let i = 1; i < 10000; i++) {
      const an = -i * (i - a);
      b += 2;
      d = an * d + b;
      if (Math.abs(d) < tiny) d = tiny;
      c = b + an / c;
      if (Math.abs(c) < tiny) c = tiny;
      d = 1 / d;
      const step = d * c;
      h *= step;
      if (Math.abs(step - 1) < 1e-15) break;
    }
    return Math.min(1, front * h);
  }

  function chiSquare(faces) {
    const rolls = faces.reduce((a, b) => a + b, 0);
    const expected = rolls / faces.length;
    const chi = faces.reduce((sum, count) => sum + (count - expected) ** 2 / expected, 0);
    const df = faces.length - 1;
    return { rolls, expected, chi, df, p: upperGamma(df / 2, chi / 2) };
  }

  function formatP(p) {
    return p >= 0.001 ? p.toFixed(3) : p.toExponential(1);
  }

  function inWords(test) {
    if (test.expected < FEWEST_PER_FACE) {
      return `too few rolls to judge (at least ${FEWEST_PER_FACE} per face are needed)`;
    }
    return test.p < UNLIKELY_BELOW ? `unlikely for a fair die (p = ${formatP(test.p)})`
                                   : "consistent with a fair die";
  }

  // The range a fair die's count of one face falls in 95 times in 100: the normal
  // approximation of the binomial, expected ± 1.96 standard deviations.
  function band(rolls, sides) {
    const expected = rolls / sides;
    const spread = 1.96 * Math.sqrt(rolls * (1 / sides) * (1 - 1 / sides));
    return [Math.max(0, expected - spread), expected + spread];
  }

  function element(name, attributes = {}, text) {
    const node = name.startsWith("svg:") ? document.createElementNS(SVG, name.slice(4))
                                         : document.createElement(name);
    for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, String(value));
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function chart(sides, faces, test, [low, high]) {
    const width = 640, height = 240, left = 48, bottom = 28, top = 10;
    const top_count = Math.max(high, ...faces) * 1.08 || 1;
    const y = (count) => top + (height - top - bottom) * (1 - count / top_count);
    const slot = (width - left - 8) / sides;
    const svg = element("svg:svg", {
      viewBox: `0 0 ${width} ${height}`, role: "img", class: "chart",
      "aria-label": `d${sides}: how often each face came up, against the expected ` +
                    `${test.expected.toFixed(1)} and its 95% band`,
    });
    svg.append(element("svg:rect", {
      class: "band", x: left, y: y(high), width: width - left - 8, height: y(low) - y(high),
    }));
    for (let face = 1; face <= sides; face++) {
      const count = faces[face - 1];
      const outside = count < low || count > high;
      const bar = element("svg:rect", {
        class: outside ? "bar outside" : "bar", x: left + (face - 1) * slot + slot * 0.15,
        y: y(count), width: Math.max(slot * 0.7, 0.5), height: y(0) - y(count),
        "data-face": face, "data-count": count,
      });
      bar.append(element("svg:title", {}, `face ${face}: ${count}${outside ? " (outside the band)" : ""}`));
      svg.append(bar);
      if (sides <= 20 || face === 1 || face % (sides <= 100 ? 10 : 100) === 0) {
        svg.append(element("svg:text", { class: "axis", x: left + (face - 0.5) * slot, y: height - 10,
                                         "text-anchor": "middle" }, String(face)));
      }
    }
    svg.append(element("svg:line", {
      class: "expected", x1: left, x2: width - 8, y1: y(test.expected), y2: y(test.expected),
    }));
    for (const value of [0, Math.round(top_count / 1.08)]) {
      svg.append(element("svg:text", { class: "axis", x: left - 6, y: y(value) + 4, "text-anchor": "end" },
                         String(value)));
    }
    return svg;
  }

  function table(sides, faces, test, [low, high]) {
    const result = element("table", { class: "faces" });
    result.append(element("caption", {}, `d${sides}: each face's count against a fair die's`));
    const head = element("tr");
    for (const title of ["Face", "Count", "Expected", "95% band", "In the band"]) {
      head.append(element("th", { scope: "col" }, title));
    }
    result.appendChild(element("thead")).append(head);
    const body = result.appendChild(element("tbody"));
    for (let face = 1; face <= sides; face++) {
      const count = faces[face - 1];
      const row = element("tr", { "data-face": face });
      row.append(element("th", { scope: "row" }, String(face)), element("td", {}, String(count)),
                 element("td", {}, test.expected.toFixed(1)),
                 element("td", {}, `${Math.ceil(low)} to ${Math.floor(high)}`),
                 element("td", {}, count < low || count > high ? "no, outside" : "yes"));
      body.append(row);
    }
    return result;
  }

  // One section per die size: the heading, the verdict in words, the chart, the table.
  function render(verified, into) {
    into.replaceChildren();
    for (const [sides, faces] of faceCounts(verified)) {
      const test = chiSquare(faces);
      const range = band(test.rolls, sides);
      const section = element("section", { class: "die", "data-sides": sides });
      section.append(element("h3", {}, `d${sides}: ${test.rolls} ${test.rolls === 1 ? "die" : "dice"}`));
      section.append(element("p", { class: "words" }, inWords(test)));
      section.append(element("p", { class: "numbers" },
        `Chi-square ${test.chi.toFixed(2)} with ${test.df} degrees of freedom, p = ${formatP(test.p)}. ` +
        `The shaded band is where a fair die's count of one face falls 95 times in 100; ` +
        `a bar outside it is marked in the table.`));
      section.append(chart(sides, faces, test, range));
      const details = element("details", sides <= 20 ? { open: "" } : {});
      const scroll = element("div", { class: "scroll" });
      scroll.append(table(sides, faces, test, range));
      details.append(element("summary", {}, `Table of the d${sides}'s faces`), scroll);
      section.append(details);
      into.append(section);
    }
  }

  return { render, faceCounts, chiSquare, inWords };
})();
