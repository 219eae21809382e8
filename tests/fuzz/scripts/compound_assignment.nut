// A compound assignment to a product: the compiler read below its stack of targets.
function f(m, i, k) {
  local val = 0;
  for (i = 0; i < 3; val += m[i][k] * i += 1) {}
}
