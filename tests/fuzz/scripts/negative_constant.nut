function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
// The smallest integer negated while a constant or an enum is compiled.
const smallest = -9223372036854775808;
enum edges { low = -9223372036854775808, high = 9223372036854775807 }
::constants <- [smallest, edges.low, edges.high];
