-- charset: find a character of a set near the end of 10 MB of text, 100 times each way
-- The text is 10 million letters with one digit near the end; the wide copy starts with a character above
-- 255 (two bytes in UTF-8, so its positions are one byte further). The first class is the digits, the
-- second everything but the letters and that character's bytes.
local letters = "abcdefghijklmnopqrstuvwxy"
local narrow = string.rep(letters, 400000)
narrow = narrow:sub(1, 9999989) .. "7" .. narrow:sub(9999991)
local wide = "\u{101}" .. narrow:sub(2)
for k, text in ipairs({narrow, wide}) do
  for _, class in ipairs({"[0-9]", "[^a-z\196\129]"}) do
    local place
    for _ = 1, 100 do
      place = string.find(text, class)
    end
    if k == 2 then place = place - 1 end
    print(place)
  end
end
