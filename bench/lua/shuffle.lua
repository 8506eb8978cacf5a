-- shuffle: shuffle a table of 10 million integers in place (Fisher-Yates with math.random); 3 rounds
local n = 10000000
local t = {}
for i = 1, n do t[i] = i end
for _ = 1, 3 do
  for i = n, 2, -1 do
    local j = math.random(i)
    t[i], t[j] = t[j], t[i]
  end
end
print(#t)
print(t[1] >= 1 and t[1] <= n)
