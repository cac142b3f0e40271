package demo.modern;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.StringReader;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.Map;
import java.util.function.BiFunction;
import java.util.function.Function;
import java.util.function.Supplier;
import java.util.stream.Collectors;

// Text blocks, lambdas, method references and try-with-resources.
public class Texts {
    static final String QUERY = """
            SELECT name, size
              FROM files
             WHERE size > 10 \
            ORDER BY name
            """;

    private final List<String> lines = new ArrayList<>();

    public List<String> read(String text) throws IOException {
        try (BufferedReader in = new BufferedReader(new StringReader(text));
             BufferedReader again = new BufferedReader(new StringReader(QUERY))) {
            String line;
            while ((line = in.readLine()) != null) lines.add(line.strip());
            lines.add(again.readLine());
        }
        return lines;
    }

    public Map<Integer, List<String>> byLength() {
        return lines.stream()
                .filter(line -> !line.isBlank())
                .sorted(Comparator.comparing(String::length).thenComparing(Comparator.reverseOrder()))
                .collect(Collectors.groupingBy(String::length));
    }

    public static <T, R> List<R> mapAll(List<T> items, Function<? super T, ? extends R> f) {
        List<R> out = new ArrayList<>();
        items.forEach(item -> out.add(f.apply(item)));
        return out;
    }

    public Supplier<List<String>> copier() {
        return () -> new ArrayList<>(lines);
    }

    public static int sum(List<Integer> values) {
        BiFunction<Integer, Integer, Integer> add = Integer::sum;
        int total = 0;
        for (var value : values) total = add.apply(total, value);
        return total;
    }

    public Runnable counter(int[] count) {
        return new Runnable() {
            @Override
            public void run() {
                count[0] += lines.size();
            }
        };
    }

    public String joined() {
        Function<String, String> upper = String::toUpperCase;
        return lines.stream().map(upper.andThen(s -> "[" + s + "]")).collect(Collectors.joining(","));
    }
}
