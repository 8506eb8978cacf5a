-- unique: the distinct values of 1 million pseudo-random integers below 500,000, in first-seen order
-- The numbers come from x = x * 48271 mod (2^31 - 1), seed 12345, by Schrage's method as in sort.lua.
local t = {}
local x = 12345
for i = 1, 1000000 do
  x = 48271 * (x % 44488) - 3399 * (x // 44488)
  if x < 0 then x = x + 2147483647 end
  t[i] = x % 500000
end
local seen, u = {}, {}
for i = 1, #t do
  local v = t[i]
  if not seen[v] then
    seen[v] = true
    u[#u + 1] = v
  end
end
print(#u)
print(u[1])
print(u[#u])
