-- sort: sort 1 million pseudo-random integers with the built-in sort; 3 rounds
-- The numbers come from x = x * 48271 mod (2^31 - 1), seed 12345, computed by
-- Schrage's method (q = 44488, r = 3399) as the Xol program must, so that all
-- three programs do the same arithmetic.
local t, x
for _ = 1, 3 do
  t = {}
  x = 12345
  for i = 1, 1000000 do
    x = 48271 * (x % 44488) - 3399 * (x // 44488)
    if x < 0 then x = x + 2147483647 end
    t[i] = x
  end
  table.sort(t)
end
print(#t)
print(x)
print(t[1])
print(t[500000])
print(t[1000000])
