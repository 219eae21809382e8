function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
local held = [];
for (local i = 0; i < 40; i++) { try { held.append(file("/dev/null", "r")); } catch (e) {} }
try { held[0].constructor("/dev/null", "r"); } catch (e) {}
local b = blob(8);
b.writeblob(b); b.seek(-1 >>> 1, 0x63); b.seek(-1 >>> 1, 0x62);
try { b.readblob(-1); } catch (e) {}
try { b.resize(-1); } catch (e) {}
print(casti2f(-1) + castf2i(0.5) + getstackinfos(-1));
