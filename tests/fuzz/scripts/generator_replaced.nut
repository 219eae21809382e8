// The generator being iterated is replaced, through an outer value, while it runs.
local g = null;
function gen() { g = 5; yield 1; yield 2; }
g = gen();
foreach (x in g) { print(x); }
function get_brake_pattern_offset(x) { return 0; }
function get_incoming_pattern_offset(x) { return 0; }
function lookup_brake_pattern(a, b, d, o) { return 1000; }
