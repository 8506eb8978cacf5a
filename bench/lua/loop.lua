-- loop: 20 million iterations, three rounds
-- The total adds `i & 127`, as the Xol program does, so both stay on integers.
local total, i = 0, 0
for _ = 1, 3 do
  total = 0
  i = 0
  for _ = 1, 20000000 do
    i = i + 1
    total = total + (i & 127)
  end
end
print(total)
