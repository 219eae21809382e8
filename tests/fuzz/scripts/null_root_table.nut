function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
try { setroottable(null); } catch (e) {}
try { setconsttable(null); } catch (e) {}
local f = function() { return 1; };
