// Seed: the kernel's files and the host's own code, which no script may open (found by reading).
local maps = file("/proc/self/maps", "r");
local mem = file("/proc/self/mem", "r+b");
mem.seek(4096);
mem.writeblob(blob(16));
local host = file("Z:\\proc\\self\\mem", "r+b");
foreach (name in ["/proc/self/exe", "/sys/kernel/mm/transparent_hugepage/enabled"]) {
    local f = file(name, "w");
    f.writen(0, 'i');
}
function get_brake_pattern_offset(x) { return 0; }
function get_incoming_pattern_offset(x) { return 0; }
function lookup_brake_pattern(a, b, d, o) { return 1000; }
